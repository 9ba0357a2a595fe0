// The C interface as a .NET program declares it (<tolvane/tolvane.h>): the same declarations
// serve Windows (tolvane.dll) and Mono or .NET on Linux (libtolvane.so). Every function returns
// 0 or an error number; results the library allocates are released with tolvane_free.
using System;
using System.Runtime.InteropServices;

namespace Tolvane
{
    public static class Native
    {
        const string Library = "tolvane";

        // Told the bytes done and their total; returning non-zero stops the work (error 18).
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        public delegate int Progress(IntPtr context, ulong done, ulong total);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr tolvane_version();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tolvane_abi_version();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr tolvane_last_error_message();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void tolvane_free(IntPtr block);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tolvane_cipher_create(out IntPtr cipher);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tolvane_cipher_destroy(IntPtr cipher);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tolvane_cipher_set_key(IntPtr cipher, byte[] key, UIntPtr size);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tolvane_cipher_set_threads(IntPtr cipher, uint threads);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tolvane_encrypt(IntPtr cipher, byte[] input, byte[] output,
                                                 UIntPtr size);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tolvane_decrypt(IntPtr cipher, byte[] input, byte[] output,
                                                 UIntPtr size);

        // Paths are UTF-8.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tolvane_encrypt_file(
            IntPtr cipher, [MarshalAs(UnmanagedType.LPUTF8Str)] string source,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string target, Progress progress,
            IntPtr context);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tolvane_decrypt_file(
            IntPtr cipher, [MarshalAs(UnmanagedType.LPUTF8Str)] string source,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string target, Progress progress,
            IntPtr context);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tolvane_check_file(
            IntPtr cipher, [MarshalAs(UnmanagedType.LPUTF8Str)] string path, out int keyChecked);

        // Text in UTF-16, as .NET strings hold it: pass the string and its Length.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tolvane_encrypt_text16(
            IntPtr cipher, [MarshalAs(UnmanagedType.LPWStr)] string text, UIntPtr units,
            out IntPtr result, out UIntPtr resultUnits);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tolvane_decrypt_text16(
            IntPtr cipher, [MarshalAs(UnmanagedType.LPWStr)] string text, UIntPtr units,
            out IntPtr result, out UIntPtr resultUnits);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tolvane_hex_code16(
            [MarshalAs(UnmanagedType.LPWStr)] string text, UIntPtr units, out IntPtr result,
            out UIntPtr resultUnits);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tolvane_from_hex_code16(
            [MarshalAs(UnmanagedType.LPWStr)] string code, UIntPtr units, out IntPtr result,
            out UIntPtr resultUnits);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tolvane_code_page(out int codePage);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tolvane_set_code_page(int codePage);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tolvane_base64_decode16(
            [MarshalAs(UnmanagedType.LPWStr)] string text, UIntPtr units, out IntPtr result,
            out UIntPtr resultSize);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tolvane_settings_write_text(
            [MarshalAs(UnmanagedType.LPUTF8Str)] string name,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string value);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tolvane_settings_write_binary(
            [MarshalAs(UnmanagedType.LPUTF8Str)] string name, byte[] value, UIntPtr size);
        // kind: 0 none, 1 text (UTF-8), 2 binary.
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tolvane_settings_read(
            [MarshalAs(UnmanagedType.LPUTF8Str)] string name, out int kind, out IntPtr value,
            out UIntPtr size);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int tolvane_settings_delete(
            [MarshalAs(UnmanagedType.LPUTF8Str)] string name, out int deleted);
    }

    // An error number and the library's description of it.
    public class TolvaneException : Exception
    {
        public int Number { get; }
        public TolvaneException(int number, string message) : base(message) { Number = number; }

        public static void Check(int number)
        {
            if (number == 0) return;
            throw new TolvaneException(number, Utf8(Native.tolvane_last_error_message()));
        }

        // A NUL-terminated UTF-8 string the library owns.
        public static string Utf8(IntPtr text)
        {
            int size = 0;
            while (Marshal.ReadByte(text, size) != 0) ++size;
            var bytes = new byte[size];
            Marshal.Copy(text, bytes, 0, size);
            return System.Text.Encoding.UTF8.GetString(bytes);
        }
    }
}
