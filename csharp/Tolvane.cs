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

        // The declarations take .NET's default convention, Winapi: __stdcall on 32-bit Windows,
        // as <tolvane/tolvane.h> declares every function and the callback there, and the one
        // convention of every other platform.

        // Told the bytes done and their total; returning non-zero stops the work (error 18).
        [UnmanagedFunctionPointer(CallingConvention.Winapi)]
        public delegate int Progress(IntPtr context, ulong done, ulong total);

        [DllImport(Library)]
        public static extern IntPtr tolvane_version();
        [DllImport(Library)]
        public static extern int tolvane_abi_version();
        [DllImport(Library)]
        public static extern IntPtr tolvane_last_error_message();
        [DllImport(Library)]
        public static extern void tolvane_free(IntPtr block);

        [DllImport(Library)]
        public static extern int tolvane_cipher_create(out IntPtr cipher);
        [DllImport(Library)]
        public static extern int tolvane_cipher_destroy(IntPtr cipher);
        [DllImport(Library)]
        public static extern int tolvane_cipher_set_key(IntPtr cipher, byte[] key, UIntPtr size);
        [DllImport(Library)]
        public static extern int tolvane_cipher_set_threads(IntPtr cipher, uint threads);

        [DllImport(Library)]
        public static extern int tolvane_encrypt(IntPtr cipher, byte[] input, byte[] output,
                                                 UIntPtr size);
        [DllImport(Library)]
        public static extern int tolvane_decrypt(IntPtr cipher, byte[] input, byte[] output,
                                                 UIntPtr size);

        // Paths are UTF-8. The library takes NUL-terminated strings, so a path, name or text value
        // holding '\0' would reach it cut short and name another file or setting: these
        // functions refuse one with ArgumentException, as .NET's file API does, before the call.
        static string WithoutNul(string text, string parameter)
        {
            if (text != null && text.IndexOf('\0') >= 0)
                throw new ArgumentException("Null character in path or name.", parameter);
            return text;
        }

        public static int tolvane_encrypt_file(IntPtr cipher, string source, string target,
                                               Progress progress, IntPtr context)
        {
            return EncryptFile(cipher, WithoutNul(source, "source"), WithoutNul(target, "target"),
                               progress, context);
        }
        public static int tolvane_decrypt_file(IntPtr cipher, string source, string target,
                                               Progress progress, IntPtr context)
        {
            return DecryptFile(cipher, WithoutNul(source, "source"), WithoutNul(target, "target"),
                               progress, context);
        }
        public static int tolvane_check_file(IntPtr cipher, string path, out int keyChecked)
        {
            return CheckFile(cipher, WithoutNul(path, "path"), out keyChecked);
        }
        [DllImport(Library, EntryPoint = "tolvane_encrypt_file")]
        static extern int EncryptFile(
            IntPtr cipher, [MarshalAs(UnmanagedType.LPUTF8Str)] string source,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string target, Progress progress,
            IntPtr context);
        [DllImport(Library, EntryPoint = "tolvane_decrypt_file")]
        static extern int DecryptFile(
            IntPtr cipher, [MarshalAs(UnmanagedType.LPUTF8Str)] string source,
            [MarshalAs(UnmanagedType.LPUTF8Str)] string target, Progress progress,
            IntPtr context);
        [DllImport(Library, EntryPoint = "tolvane_check_file")]
        static extern int CheckFile(
            IntPtr cipher, [MarshalAs(UnmanagedType.LPUTF8Str)] string path, out int keyChecked);

        // Text in UTF-16, as .NET strings hold it: pass the string and its Length.
        [DllImport(Library)]
        public static extern int tolvane_encrypt_text16(
            IntPtr cipher, [MarshalAs(UnmanagedType.LPWStr)] string text, UIntPtr units,
            out IntPtr result, out UIntPtr resultUnits);
        [DllImport(Library)]
        public static extern int tolvane_decrypt_text16(
            IntPtr cipher, [MarshalAs(UnmanagedType.LPWStr)] string text, UIntPtr units,
            out IntPtr result, out UIntPtr resultUnits);
        [DllImport(Library)]
        public static extern int tolvane_hex_code16(
            [MarshalAs(UnmanagedType.LPWStr)] string text, UIntPtr units, out IntPtr result,
            out UIntPtr resultUnits);
        [DllImport(Library)]
        public static extern int tolvane_from_hex_code16(
            [MarshalAs(UnmanagedType.LPWStr)] string code, UIntPtr units, out IntPtr result,
            out UIntPtr resultUnits);

        [DllImport(Library)]
        public static extern int tolvane_code_page(out int codePage);
        [DllImport(Library)]
        public static extern int tolvane_set_code_page(int codePage);

        [DllImport(Library)]
        public static extern int tolvane_base64_decode16(
            [MarshalAs(UnmanagedType.LPWStr)] string text, UIntPtr units, out IntPtr result,
            out UIntPtr resultSize);

        public static int tolvane_settings_write_text(string name, string value)
        {
            return SettingsWriteText(WithoutNul(name, "name"), WithoutNul(value, "value"));
        }
        public static int tolvane_settings_write_binary(string name, byte[] value, UIntPtr size)
        {
            return SettingsWriteBinary(WithoutNul(name, "name"), value, size);
        }
        // kind: 0 none, 1 text (UTF-8), 2 binary.
        public static int tolvane_settings_read(string name, out int kind, out IntPtr value,
                                                out UIntPtr size)
        {
            return SettingsRead(WithoutNul(name, "name"), out kind, out value, out size);
        }
        public static int tolvane_settings_delete(string name, out int deleted)
        {
            return SettingsDelete(WithoutNul(name, "name"), out deleted);
        }
        [DllImport(Library, EntryPoint = "tolvane_settings_write_text")]
        static extern int SettingsWriteText([MarshalAs(UnmanagedType.LPUTF8Str)] string name,
                                            [MarshalAs(UnmanagedType.LPUTF8Str)] string value);
        [DllImport(Library, EntryPoint = "tolvane_settings_write_binary")]
        static extern int SettingsWriteBinary([MarshalAs(UnmanagedType.LPUTF8Str)] string name,
                                              byte[] value, UIntPtr size);
        [DllImport(Library, EntryPoint = "tolvane_settings_read")]
        static extern int SettingsRead([MarshalAs(UnmanagedType.LPUTF8Str)] string name,
                                       out int kind, out IntPtr value, out UIntPtr size);
        [DllImport(Library, EntryPoint = "tolvane_settings_delete")]
        static extern int SettingsDelete([MarshalAs(UnmanagedType.LPUTF8Str)] string name,
                                         out int deleted);
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
