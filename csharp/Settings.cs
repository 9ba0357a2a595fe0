using System;
using System.Text;

namespace Tolvane
{
    /// <summary>The per-user settings store: values under a name, each text or bytes. A text
    /// value's name is a path of keys ("Window\Left"); a binary value's is taken as it is.
    /// Names and text holding '\0' throw <see cref="ArgumentException"/>.</summary>
    public static class Settings
    {
        /// <summary>Stores text under <paramref name="name"/>, replacing any earlier
        /// value.</summary>
        public static void Write(string name, string value)
        {
            byte[] nativeName = NativeText.Utf8z(name, nameof(name));
            byte[] nativeValue = NativeText.Utf8z(value, nameof(value));
            TolvaneException.Check(
                NativeMethods.tolvane_settings_write_text(nativeName, nativeValue));
        }

        /// <summary>Stores bytes under <paramref name="name"/>, replacing any earlier
        /// value.</summary>
        public static void Write(string name, byte[] value)
        {
            byte[] nativeName = NativeText.Utf8z(name, nameof(name));
            if (value == null)
                throw new ArgumentNullException(nameof(value));
            TolvaneException.Check(NativeMethods.tolvane_settings_write_binary(
                nativeName, value, (UIntPtr)value.Length));
        }

        /// <summary>The value under <paramref name="name"/>: a string for text, a byte array
        /// for bytes, null when there is none.</summary>
        public static object Read(string name)
        {
            byte[] nativeName = NativeText.Utf8z(name, nameof(name));
            int kind;
            IntPtr value;
            UIntPtr size;
            TolvaneException.Check(
                NativeMethods.tolvane_settings_read(nativeName, out kind, out value, out size));
            switch (kind)
            {
                case 1:
                    return NativeText.TakeUtf8(value, size);
                case 2:
                    return NativeText.TakeBytes(value, size);
                default:
                    NativeMethods.tolvane_free(value);
                    return null;
            }
        }

        /// <summary>Removes the value under <paramref name="name"/>: true if there was
        /// one.</summary>
        public static bool Delete(string name)
        {
            byte[] nativeName = NativeText.Utf8z(name, nameof(name));
            int deleted;
            TolvaneException.Check(NativeMethods.tolvane_settings_delete(nativeName, out deleted));
            return deleted != 0;
        }

        /// <summary>The names of every stored value, sorted.</summary>
        public static string[] Names()
        {
            IntPtr entries;
            UIntPtr size, count;
            TolvaneException.Check(
                NativeMethods.tolvane_settings_list(out entries, out size, out count));
            // Each entry is a type character, the name and a NUL.
            string block = NativeText.TakeUtf8(entries, size);
            var names = new string[checked((int)count.ToUInt64())];
            int start = 0;
            for (int i = 0; i < names.Length; ++i)
            {
                int end = block.IndexOf('\0', start);
                names[i] = block.Substring(start + 1, end - start - 1);
                start = end + 1;
            }
            return names;
        }
    }
}
