// Text and blocks between .NET and the library: strings to the NUL-terminated UTF-8 the
// library takes, and the library's results copied into managed objects and freed at once.
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Tolvane
{
    internal static class NativeText
    {
        // Throws on a lone surrogate rather than writing U+FFFD: a path or name changed that way
        // would name another file or setting.
        static readonly UTF8Encoding Strict = new UTF8Encoding(false, true);

        // A path, settings name or settings text as NUL-terminated UTF-8. The library would see
        // a string holding '\0' cut there, and act on another file or setting: such a string
        // is refused here, as .NET's file API refuses it.
        internal static byte[] Utf8z(string text, string parameter)
        {
            if (text == null)
                throw new ArgumentNullException(parameter);
            if (text.IndexOf('\0') >= 0)
                throw new ArgumentException("Null character in path or name.", parameter);
            byte[] bytes;
            try
            {
                bytes = Strict.GetBytes(text);
            }
            catch (EncoderFallbackException e)
            {
                throw new ArgumentException("Path or name is not valid UTF-16.", parameter, e);
            }
            Array.Resize(ref bytes, bytes.Length + 1);
            return bytes;
        }

        internal static byte[] Utf8(string text, string parameter)
        {
            if (text == null)
                throw new ArgumentNullException(parameter);
            return Strict.GetBytes(text);
        }

        // A NUL-terminated UTF-8 string the library owns (and keeps).
        internal static string Utf8z(IntPtr text)
        {
            int size = 0;
            while (Marshal.ReadByte(text, size) != 0)
                ++size;
            return Utf8(text, size);
        }

        static string Utf8(IntPtr text, int size)
        {
            if (size == 0)
                return string.Empty;
            var bytes = new byte[size];
            Marshal.Copy(text, bytes, 0, size);
            return Encoding.UTF8.GetString(bytes);
        }

        // The results of a call, freed (and so wiped) by the library whatever happens here.
        internal static string TakeUtf16(IntPtr block, UIntPtr units)
        {
            try
            {
                return units == UIntPtr.Zero ? string.Empty
                                             : Marshal.PtrToStringUni(block, Length(units));
            }
            finally
            {
                NativeMethods.tolvane_free(block);
            }
        }

        internal static string TakeUtf8(IntPtr block, UIntPtr size)
        {
            try
            {
                return Utf8(block, Length(size));
            }
            finally
            {
                NativeMethods.tolvane_free(block);
            }
        }

        internal static byte[] TakeBytes(IntPtr block, UIntPtr size)
        {
            try
            {
                var bytes = new byte[Length(size)];
                if (bytes.Length > 0)
                    Marshal.Copy(block, bytes, 0, bytes.Length);
                return bytes;
            }
            finally
            {
                NativeMethods.tolvane_free(block);
            }
        }

        static int Length(UIntPtr size)
        {
            return checked((int)size.ToUInt64());
        }
    }
}
