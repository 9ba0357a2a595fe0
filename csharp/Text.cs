using System;

namespace Tolvane
{
    /// <summary>The hexadecimal code of text: each UTF-16 code unit as four uppercase digits,
    /// low byte first ("A" is "4100").</summary>
    public static class HexCode
    {
        /// <summary>The hexadecimal code of <paramref name="text"/>.</summary>
        public static string Encode(string text)
        {
            return Convert(text, true, nameof(text));
        }

        /// <summary>The text a hexadecimal code holds (lowercase digits accepted); a character
        /// that is no digit throws <see cref="TolvaneException"/> 13.</summary>
        public static string Decode(string code)
        {
            return Convert(code, false, nameof(code));
        }

        static unsafe string Convert(string text, bool encode, string parameter)
        {
            if (text == null)
                throw new ArgumentNullException(parameter);
            IntPtr result;
            UIntPtr units;
            fixed (char* chars = text)
                TolvaneException.Check(
                    encode ? NativeMethods.tolvane_hex_code16(chars, (UIntPtr)text.Length,
                                                              out result, out units)
                           : NativeMethods.tolvane_from_hex_code16(chars, (UIntPtr)text.Length,
                                                                   out result, out units));
            return NativeText.TakeUtf16(result, units);
        }
    }

    /// <summary>The ANSI code page text goes through when it is encrypted, for the whole
    /// process, and the bytes cipher text stands for in it.</summary>
    public static class CodePage
    {
        /// <summary>The active code page: 874 or 1250 to 1258. Setting one that is not
        /// supported throws <see cref="TolvaneException"/> 5 and changes nothing. Set it at
        /// start-up: a text call running on another thread may use either page.</summary>
        public static int Active
        {
            get
            {
                int page;
                TolvaneException.Check(NativeMethods.tolvane_code_page(out page));
                return page;
            }
            set { TolvaneException.Check(NativeMethods.tolvane_set_code_page(value)); }
        }

        /// <summary><paramref name="text"/> as its bytes in the active code page, one per
        /// UTF-16 code unit: how cipher text becomes the bytes files and databases hold.</summary>
        public static byte[] GetBytes(string text)
        {
            byte[] utf8 = NativeText.Utf8(text, nameof(text));
            IntPtr result;
            UIntPtr size;
            TolvaneException.Check(NativeMethods.tolvane_code_page_bytes8(
                utf8, (UIntPtr)utf8.Length, out result, out size));
            return NativeText.TakeBytes(result, size);
        }

        /// <summary>The text <paramref name="bytes"/> stand for in the active code page, one
        /// character per byte.</summary>
        public static string GetString(byte[] bytes)
        {
            if (bytes == null)
                throw new ArgumentNullException(nameof(bytes));
            IntPtr result;
            UIntPtr size;
            TolvaneException.Check(NativeMethods.tolvane_code_page_text8(
                bytes, (UIntPtr)bytes.Length, out result, out size));
            return NativeText.TakeUtf8(result, size);
        }
    }

    /// <summary>The library's Base64 decoder.</summary>
    public static class Base64
    {
        /// <summary>The bytes of standard Base64 ("=" padding; space, tab, CR and LF skipped);
        /// anything else throws <see cref="TolvaneException"/> 5.</summary>
        public static unsafe byte[] Decode(string text)
        {
            if (text == null)
                throw new ArgumentNullException(nameof(text));
            IntPtr result;
            UIntPtr size;
            fixed (char* chars = text)
                TolvaneException.Check(NativeMethods.tolvane_base64_decode16(
                    chars, (UIntPtr)text.Length, out result, out size));
            return NativeText.TakeBytes(result, size);
        }
    }
}
