// Calls the library through the declarations in Tolvane.cs: the published all-zero vector,
// text both ways, the hexadecimal code, a file with progress, a refused key, and paths and
// names holding '\0' refused before the library sees them. Prints what it got; exits 1 at the
// first result that is not the expected one.
using System;
using System.IO;
using System.Runtime.InteropServices;
using Tolvane;

static class Demo
{
    static string Text16(IntPtr result, UIntPtr units)
    {
        string text = Marshal.PtrToStringUni(result, (int)units.ToUInt32());
        Native.tolvane_free(result);
        return text;
    }

    static void Expect(string what, object got, object expected)
    {
        Console.WriteLine(what + ": " + got);
        if (!got.Equals(expected))
        {
            Console.Error.WriteLine(what + ": expected " + expected);
            Environment.Exit(1);
        }
    }

    static int Main(string[] args)
    {
        Expect("abi", Native.tolvane_abi_version(), 1);
        IntPtr cipher;
        TolvaneException.Check(Native.tolvane_cipher_create(out cipher));
        try
        {
            var zero = new byte[8];
            TolvaneException.Check(Native.tolvane_cipher_set_key(cipher, zero, (UIntPtr)8));
            var block = new byte[8];
            TolvaneException.Check(Native.tolvane_encrypt(cipher, block, block, (UIntPtr)8));
            Expect("cipher", BitConverter.ToString(block).Replace("-", ""), "4EF997456198DD78");

            IntPtr result;
            UIntPtr units;
            string text = "Grüße";
            TolvaneException.Check(Native.tolvane_encrypt_text16(
                cipher, text, (UIntPtr)text.Length, out result, out units));
            string sealedText = Text16(result, units);
            TolvaneException.Check(Native.tolvane_decrypt_text16(
                cipher, sealedText, (UIntPtr)sealedText.Length, out result, out units));
            Expect("text", Text16(result, units), text);
            TolvaneException.Check(Native.tolvane_hex_code16("A", (UIntPtr)1, out result, out units));
            Expect("hex", Text16(result, units), "4100");

            string folder = args.Length > 0 ? args[0] : Path.GetTempPath();
            string plain = Path.Combine(folder, "csharp-plain.txt");
            string encrypted = Path.Combine(folder, "csharp-plain.enc");
            File.WriteAllText(plain, "twelve bytes");
            ulong total = 0;
            Native.Progress progress = (context, done, all) => { total = all; return 0; };
            TolvaneException.Check(
                Native.tolvane_encrypt_file(cipher, plain, encrypted, progress, IntPtr.Zero));
            GC.KeepAlive(progress);
            Expect("progress total", total, 12UL);
            int keyChecked;
            TolvaneException.Check(Native.tolvane_check_file(cipher, encrypted, out keyChecked));
            Expect("key checked", keyChecked, 1);
            TolvaneException.Check(
                Native.tolvane_decrypt_file(cipher, encrypted, plain, null, IntPtr.Zero));
            Expect("file", File.ReadAllText(plain), "twelve bytes");

            // Cut at the '\0', each would act on the file or setting "victim".
            string victim = Path.Combine(folder, "victim");
            File.WriteAllText(victim, "kept");
            int number;
            IntPtr none = IntPtr.Zero;
            var refusals = new Func<int>[] {
                () => Native.tolvane_encrypt_file(cipher, plain, victim + "\0.enc", null, none),
                () => Native.tolvane_encrypt_file(cipher, victim + "\0.txt", plain, null, none),
                () => Native.tolvane_decrypt_file(cipher, encrypted, victim + "\0", null, none),
                () => Native.tolvane_check_file(cipher, victim + "\0.enc", out number),
                () => Native.tolvane_settings_write_text("victim\0x", "value"),
                () => Native.tolvane_settings_write_text("victim", "value\0cut"),
                () => Native.tolvane_settings_write_binary("victim\0x", zero, (UIntPtr)8),
                () => Native.tolvane_settings_read("victim\0x", out number, out result, out units),
                () => Native.tolvane_settings_delete("victim\0x", out number),
            };
            int refused = 0;
            foreach (var call in refusals)
                try { call(); } catch (ArgumentException) { ++refused; }
            Expect("NUL refused", refused, refusals.Length);
            Expect("victim", File.ReadAllText(victim), "kept");

            try
            {
                TolvaneException.Check(Native.tolvane_cipher_set_key(cipher, new byte[0], UIntPtr.Zero));
                Expect("empty key refused", false, true);
            }
            catch (TolvaneException e)
            {
                Expect("empty key", e.Number + " " + e.Message, "9 Subscript out of range");
            }
        }
        finally
        {
            Native.tolvane_cipher_destroy(cipher);
        }
        return 0;
    }
}
