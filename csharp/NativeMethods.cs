// The C interface, <tolvane/tolvane.h>, as P/Invoke declarations. Internal: programs use the
// classes of this assembly, which check arguments, turn error numbers into exceptions and free
// what the library allocates.
using System;
using System.Runtime.InteropServices;

namespace Tolvane
{
    // "tolvane" is tolvane.dll on Windows and libtolvane.so on Linux; .NET looks beside the
    // application first, where a package's runtimes/<rid>/native file is copied. Every
    // declaration takes the default convention, Winapi, which is what TOLVANE_CALL means:
    // __stdcall on 32-bit Windows and the platform's one convention everywhere else.
    // Paths, settings names and settings text are NUL-terminated UTF-8 (NativeText.Utf8z);
    // other text is UTF-16 passed by pointer and length, as it may hold NUL characters.
    internal static unsafe class NativeMethods
    {
        const string Library = "tolvane";

        internal const int Stopped = 18;

        // Told the bytes done and their total; returning non-zero stops the work (Stopped).
        [UnmanagedFunctionPointer(CallingConvention.Winapi)]
        internal delegate int Progress(IntPtr context, ulong done, ulong total);

        [DllImport(Library)]
        internal static extern IntPtr tolvane_last_error_message();
        [DllImport(Library)]
        internal static extern void tolvane_free(IntPtr block);

        [DllImport(Library)]
        internal static extern int tolvane_cipher_create(out CipherHandle cipher);
        [DllImport(Library)]
        internal static extern int tolvane_cipher_destroy(IntPtr cipher);
        [DllImport(Library)]
        internal static extern int tolvane_cipher_set_key(CipherHandle cipher, byte[] key,
                                                          UIntPtr size);
        [DllImport(Library)]
        internal static extern int tolvane_cipher_set_threads(CipherHandle cipher, uint threads);
        [DllImport(Library)]
        internal static extern int tolvane_encrypt(CipherHandle cipher, byte[] input,
                                                   byte[] output, UIntPtr size);
        [DllImport(Library)]
        internal static extern int tolvane_decrypt(CipherHandle cipher, byte[] input,
                                                   byte[] output, UIntPtr size);

        [DllImport(Library)]
        internal static extern int tolvane_encrypt_file(CipherHandle cipher, byte[] source,
                                                        byte[] target, Progress progress,
                                                        IntPtr context);
        [DllImport(Library)]
        internal static extern int tolvane_decrypt_file(CipherHandle cipher, byte[] source,
                                                        byte[] target, Progress progress,
                                                        IntPtr context);
        [DllImport(Library)]
        internal static extern int tolvane_check_file(CipherHandle cipher, byte[] path,
                                                      out int keyChecked);

        [DllImport(Library)]
        internal static extern int tolvane_encrypt_text16(CipherHandle cipher, char* text,
                                                          UIntPtr units, out IntPtr result,
                                                          out UIntPtr resultUnits);
        [DllImport(Library)]
        internal static extern int tolvane_decrypt_text16(CipherHandle cipher, char* text,
                                                          UIntPtr units, out IntPtr result,
                                                          out UIntPtr resultUnits);
        [DllImport(Library)]
        internal static extern int tolvane_hex_code16(char* text, UIntPtr units,
                                                      out IntPtr result, out UIntPtr resultUnits);
        [DllImport(Library)]
        internal static extern int tolvane_from_hex_code16(char* code, UIntPtr units,
                                                           out IntPtr result,
                                                           out UIntPtr resultUnits);

        [DllImport(Library)]
        internal static extern int tolvane_code_page(out int codePage);
        [DllImport(Library)]
        internal static extern int tolvane_set_code_page(int codePage);
        [DllImport(Library)]
        internal static extern int tolvane_code_page_bytes8(byte[] text, UIntPtr size,
                                                            out IntPtr result,
                                                            out UIntPtr resultSize);
        [DllImport(Library)]
        internal static extern int tolvane_code_page_text8(byte[] bytes, UIntPtr size,
                                                           out IntPtr result,
                                                           out UIntPtr resultSize);

        [DllImport(Library)]
        internal static extern int tolvane_base64_decode16(char* text, UIntPtr units,
                                                           out IntPtr result,
                                                           out UIntPtr resultSize);

        [DllImport(Library)]
        internal static extern int tolvane_settings_write_text(byte[] name, byte[] value);
        [DllImport(Library)]
        internal static extern int tolvane_settings_write_binary(byte[] name, byte[] value,
                                                                 UIntPtr size);
        [DllImport(Library)]
        internal static extern int tolvane_settings_read(byte[] name, out int kind,
                                                         out IntPtr value, out UIntPtr size);
        [DllImport(Library)]
        internal static extern int tolvane_settings_list(out IntPtr entries, out UIntPtr size,
                                                         out UIntPtr count);
        [DllImport(Library)]
        internal static extern int tolvane_settings_delete(byte[] name, out int deleted);
    }

    // Owns one native cipher: releasing it wipes the key schedule and frees it. While a call
    // runs with it, the marshaller holds a reference, so Dispose on another thread waits for
    // the release until the call has returned.
    internal sealed class CipherHandle : SafeHandle
    {
        public CipherHandle() : base(IntPtr.Zero, true) {}

        public override bool IsInvalid
        {
            get { return handle == IntPtr.Zero; }
        }

        protected override bool ReleaseHandle()
        {
            return NativeMethods.tolvane_cipher_destroy(handle) == 0;
        }
    }
}
