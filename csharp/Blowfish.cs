using System;
using System.Runtime.ExceptionServices;
using System.Threading;

namespace Tolvane
{
    /// <summary>How far a file's encryption or decryption has got.</summary>
    public struct FileProgress
    {
        /// <summary>A report of <paramref name="done"/> bytes of <paramref name="total"/>.</summary>
        public FileProgress(long done, long total)
        {
            Done = done;
            Total = total;
        }

        /// <summary>The bytes done so far.</summary>
        public long Done { get; }

        /// <summary>The bytes to do in all.</summary>
        public long Total { get; }

        /// <summary>The part done, from 0 to 1 (1 for an empty file).</summary>
        public double Fraction
        {
            get { return Total == 0 ? 1.0 : (double)Done / Total; }
        }
    }

    /// <summary>
    /// A Blowfish key schedule: encrypts and decrypts byte arrays, files and text in
    /// electronic-codebook mode with zero padding, in the formats existing programs hold.
    /// </summary>
    /// <remarks>
    /// One thread at a time uses an instance. <see cref="Dispose"/> wipes the key schedule;
    /// any use after it throws <see cref="ObjectDisposedException"/>. The key array passed in
    /// is not kept. Failures the library reports throw <see cref="TolvaneException"/>.
    /// </remarks>
    public sealed class Blowfish : IDisposable
    {
        readonly CipherHandle cipher;

        /// <summary>A cipher keyed with <paramref name="key"/> (1 to 32767 bytes; only the
        /// first 72 count), working on one thread.</summary>
        public Blowfish(byte[] key) : this(key, 1) {}

        /// <summary>A cipher keyed with <paramref name="key"/> that shares inputs from 256 KiB
        /// on among up to <paramref name="threads"/> threads (0: one per hardware thread; at
        /// most 64), with the same results.</summary>
        public Blowfish(byte[] key, int threads)
        {
            if (key == null)
                throw new ArgumentNullException(nameof(key));
            if (threads < 0)
                throw new ArgumentOutOfRangeException(nameof(threads));
            CipherHandle handle;
            TolvaneException.Check(NativeMethods.tolvane_cipher_create(out handle));
            try
            {
                TolvaneException.Check(
                    NativeMethods.tolvane_cipher_set_key(handle, key, (UIntPtr)key.Length));
                TolvaneException.Check(
                    NativeMethods.tolvane_cipher_set_threads(handle, (uint)threads));
            }
            catch
            {
                handle.Dispose();
                throw;
            }
            cipher = handle;
        }

        /// <summary>Wipes the key schedule and frees it.</summary>
        public void Dispose()
        {
            cipher.Dispose();
        }

        CipherHandle Handle
        {
            get
            {
                if (cipher.IsClosed)
                    throw new ObjectDisposedException(nameof(Blowfish));
                return cipher;
            }
        }

        /// <summary>The encryption of <paramref name="data"/>, whose length must be a
        /// multiple of 8 (else <see cref="TolvaneException"/> -2147218101).</summary>
        public byte[] Encrypt(byte[] data)
        {
            return Transform(data, true);
        }

        /// <summary>The decryption of <paramref name="data"/>, whose length must be a
        /// multiple of 8.</summary>
        public byte[] Decrypt(byte[] data)
        {
            return Transform(data, false);
        }

        byte[] Transform(byte[] data, bool encrypt)
        {
            if (data == null)
                throw new ArgumentNullException(nameof(data));
            var handle = Handle;
            var result = new byte[data.Length];
            var size = (UIntPtr)data.Length;
            TolvaneException.Check(encrypt
                                       ? NativeMethods.tolvane_encrypt(handle, data, result, size)
                                       : NativeMethods.tolvane_decrypt(handle, data, result, size));
            return result;
        }

        /// <summary>Encrypts the file <paramref name="source"/> into <paramref name="target"/>
        /// (the plain length as 4 bytes, then the zero-padded data encrypted). The target is
        /// replaced once every byte is done and left as it was on any failure; the two may be
        /// the same file.</summary>
        public void EncryptFile(string source, string target)
        {
            EncryptFile(source, target, null, CancellationToken.None);
        }

        /// <summary>Encrypts a file as <see cref="EncryptFile(string, string)"/> does,
        /// reporting progress between chunks (at most about ten times a second) and at the
        /// end on the calling thread. Cancelling throws
        /// <see cref="OperationCanceledException"/> and leaves the target as it was; so does an
        /// exception from <paramref name="progress"/>, which comes out as itself.</summary>
        public void EncryptFile(string source, string target, IProgress<FileProgress> progress,
                                CancellationToken cancellationToken = default(CancellationToken))
        {
            RunFile(true, source, target, progress, cancellationToken);
        }

        /// <summary>Decrypts the file <paramref name="source"/> into <paramref name="target"/>:
        /// every check of the format and, where the padding allows, of the key comes first
        /// (<see cref="TolvaneException"/> 321 when one fails); then as
        /// <see cref="EncryptFile(string, string)"/>.</summary>
        public void DecryptFile(string source, string target)
        {
            DecryptFile(source, target, null, CancellationToken.None);
        }

        /// <summary>Decrypts a file, with progress and cancellation as
        /// <see cref="EncryptFile(string, string, IProgress{FileProgress}, CancellationToken)"/>.
        /// </summary>
        public void DecryptFile(string source, string target, IProgress<FileProgress> progress,
                                CancellationToken cancellationToken = default(CancellationToken))
        {
            RunFile(false, source, target, progress, cancellationToken);
        }

        void RunFile(bool encrypt, string source, string target, IProgress<FileProgress> progress,
                     CancellationToken cancellationToken)
        {
            byte[] sourcePath = NativeText.Utf8z(source, nameof(source));
            byte[] targetPath = NativeText.Utf8z(target, nameof(target));
            var handle = Handle;
            cancellationToken.ThrowIfCancellationRequested();
            // An exception must not unwind through the library: the callback keeps it and asks
            // the library to stop, and it is thrown again once the call has returned.
            Exception thrown = null;
            NativeMethods.Progress callback = null;
            if (progress != null || cancellationToken.CanBeCanceled)
                callback = (context, done, total) => {
                    try
                    {
                        // Checked after the report too, which may itself cancel: a
                        // cancellation seen at the last report still leaves the target alone.
                        if (progress != null && !cancellationToken.IsCancellationRequested)
                            progress.Report(new FileProgress((long)done, (long)total));
                        return cancellationToken.IsCancellationRequested ? 1 : 0;
                    }
                    catch (Exception e)
                    {
                        thrown = e;
                        return 1;
                    }
                };
            int number =
                encrypt ? NativeMethods.tolvane_encrypt_file(handle, sourcePath, targetPath,
                                                             callback, IntPtr.Zero)
                        : NativeMethods.tolvane_decrypt_file(handle, sourcePath, targetPath,
                                                             callback, IntPtr.Zero);
            GC.KeepAlive(callback);
            if (number == NativeMethods.Stopped)
            {
                if (thrown != null)
                    ExceptionDispatchInfo.Capture(thrown).Throw();
                cancellationToken.ThrowIfCancellationRequested();
            }
            TolvaneException.Check(number);
        }

        /// <summary>Runs the checks of <see cref="DecryptFile(string, string)"/> on
        /// <paramref name="path"/>, writing nothing: true when the key was checked against the
        /// padding, false when the plain length is a multiple of 8 and left nothing to check it
        /// against. A file that fails a check throws <see cref="TolvaneException"/>.</summary>
        public bool CheckFile(string path)
        {
            byte[] nativePath = NativeText.Utf8z(path, nameof(path));
            int keyChecked;
            TolvaneException.Check(NativeMethods.tolvane_check_file(Handle, nativePath,
                                                                    out keyChecked));
            return keyChecked != 0;
        }

        /// <summary>The cipher text of <paramref name="text"/>: its bytes in the active code
        /// page (<see cref="CodePage"/>) encrypted, read back through the same page, one
        /// character per byte; a multiple of 8 characters. Characters the page lacks become a
        /// look-alike or "?".</summary>
        public string EncryptText(string text)
        {
            return TransformText(text, true);
        }

        /// <summary>The text of cipher text (a multiple of 8 characters), cut at its first
        /// NUL unless that is its first character.</summary>
        public string DecryptText(string cipherText)
        {
            return TransformText(cipherText, false);
        }

        unsafe string TransformText(string text, bool encrypt)
        {
            if (text == null)
                throw new ArgumentNullException(encrypt ? "text" : "cipherText");
            var handle = Handle;
            IntPtr result;
            UIntPtr units;
            fixed (char* chars = text)
                TolvaneException.Check(
                    encrypt ? NativeMethods.tolvane_encrypt_text16(handle, chars,
                                                                   (UIntPtr)text.Length,
                                                                   out result, out units)
                            : NativeMethods.tolvane_decrypt_text16(handle, chars,
                                                                   (UIntPtr)text.Length,
                                                                   out result, out units));
            return NativeText.TakeUtf16(result, units);
        }
    }
}
