// Exercises every public member of the managed face (Tolvane.Net.dll) against the native
// library and checks each result: the published vectors, text through the code page, files
// with progress, cancellation and a throwing progress leaving the target as it was, error
// numbers, strings holding '\0' refused, use after Dispose, and no result block left
// unfreed. Usage: mono Demo.exe FOLDER [NATIVE_FOLDER]: its files go in a new folder in
// FOLDER; with NATIVE_FOLDER, the native library must have been loaded from there alone.
using System;
using System.IO;
using System.Linq;
using System.Runtime.InteropServices;
using System.Text;
using System.Threading;
using Tolvane;

static class Demo
{
    static int passed, failed;

    static void Expect(string what, object got, object expected)
    {
        bool same = got is byte[] ? ((byte[])got).SequenceEqual((byte[])expected)
                                  : Equals(got, expected);
        if (same)
            ++passed;
        else
        {
            ++failed;
            Console.Error.WriteLine("FAIL " + what + ": got " + Show(got) + ", expected " +
                                    Show(expected));
        }
    }

    static string Show(object value)
    {
        string text = value is byte[] ? BitConverter.ToString((byte[])value) : value + "";
        return text.Length > 100 ? text.Substring(0, 100) + "..." : text;
    }

    // The exception's type name (ArgumentException for each kind of it) and, for the
    // library's, its number and description.
    static string Outcome(Action call)
    {
        try
        {
            call();
            return "none";
        }
        catch (TolvaneException e)
        {
            return "TolvaneException " + e.Number + " " + e.Message;
        }
        catch (Exception e)
        {
            return e is ArgumentException ? "ArgumentException" : e.GetType().Name;
        }
    }

    static byte[] Hex(string hex)
    {
        return Enumerable.Range(0, hex.Length / 2)
            .Select(i => Convert.ToByte(hex.Substring(2 * i, 2), 16)).ToArray();
    }

    sealed class Recorder : IProgress<FileProgress>
    {
        public FileProgress Last;
        public Action Then = () => {};
        public void Report(FileProgress value)
        {
            Last = value;
            Then();
        }
    }

    [StructLayout(LayoutKind.Sequential)]
    struct MallocInfo
    {
        public UIntPtr arena, ordblks, smblks, hblks, hblkhd, usmblks, fsmblks, uordblks, fordblks,
            keepcost;
    }
    [DllImport("libc")]
    static extern MallocInfo mallinfo2();

    static long MallocInUse()
    {
        var info = mallinfo2();
        return (long)info.uordblks.ToUInt64() + (long)info.hblkhd.ToUInt64();
    }

    static int Main(string[] args)
    {
        string folder = Directory.CreateDirectory(
            Path.Combine(args[0], "demo-" + Path.GetRandomFileName())).FullName;
        var vectors = new[] {  // published: key, plain, cipher
            new[] {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
            new[] {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
        };
        foreach (var row in vectors)
            using (var vector = new Blowfish(Hex(row[0])))
            {
                Expect("encrypt " + row[0], vector.Encrypt(Hex(row[1])), Hex(row[2]));
                Expect("decrypt " + row[0], vector.Decrypt(Hex(row[2])), Hex(row[1]));
            }

        var bf = new Blowfish(Encoding.ASCII.GetBytes("key"));
        var large = Enumerable.Range(0, 1 << 19).Select(i => (byte)i).ToArray();
        using (var shared = new Blowfish(Encoding.ASCII.GetBytes("key"), 2))
            Expect("two threads", shared.Encrypt(large), bf.Encrypt(large));

        // Text: the cipher text stands for the code page bytes of the text, encrypted.
        Expect("code page", CodePage.Active, 1252);
        string sealedText = bf.EncryptText("Grüße");
        Expect("cipher text bytes", CodePage.GetBytes(sealedText),
               bf.Encrypt(Hex("4772FCDF65000000")));
        Expect("cipher text back", CodePage.GetString(CodePage.GetBytes(sealedText)), sealedText);
        Expect("text", bf.DecryptText(sealedText), "Grüße");
        CodePage.Active = 1251;
        Expect("1251", bf.DecryptText(bf.EncryptText("Привет")), "Привет");
        CodePage.Active = 1252;
        Expect("hex", HexCode.Encode("A€"), "4100AC20");
        Expect("hex back", HexCode.Decode("4100ac20"), "A€");
        Expect("base64", Base64.Decode("SGVs\nbG8="), Encoding.ASCII.GetBytes("Hello"));

        Settings.Write("Demo\\Text", "Grüße");
        Settings.Write("Demo.bin", new byte[] {0, 1, 2});
        Expect("setting text", Settings.Read("Demo\\Text"), "Grüße");
        Expect("setting bytes", Settings.Read("Demo.bin"), new byte[] {0, 1, 2});
        Expect("setting names", string.Join(",", Settings.Names()), "Demo.bin,Demo\\Text");
        Expect("deleted", Settings.Delete("Demo.bin"), true);
        Expect("deleted again", Settings.Delete("Demo.bin"), false);
        Expect("no setting", Settings.Read("Demo.bin"), null);

        string plain = Path.Combine(folder, "plain.txt"), sealedFile = plain + ".enc";
        string output = Path.Combine(folder, "output.txt");
        File.WriteAllText(plain, "twelve bytes");
        var recorder = new Recorder();
        bf.EncryptFile(plain, sealedFile, recorder, CancellationToken.None);
        Expect("progress", recorder.Last.Done + "/" + recorder.Last.Total + " " +
               recorder.Last.Fraction, "12/12 1");
        Expect("key checked", bf.CheckFile(sealedFile), true);
        bf.DecryptFile(sealedFile, output);
        Expect("file", File.ReadAllText(output), "twelve bytes");
        bf.EncryptFile(output, output);
        bf.DecryptFile(output, output, recorder);
        Expect("in place", File.ReadAllText(output), "twelve bytes");

        // Stopped work leaves the target as it was and nothing else behind.
        string big = Path.Combine(folder, "big"), target = Path.Combine(folder, "target");
        using (var stream = File.Create(big))
            stream.SetLength(64 << 20);
        using (var cancelled = new CancellationTokenSource())
        {
            cancelled.Cancel();
            var stops = new[] {
                Tuple.Create<Action, string>(() => {
                    var source = new CancellationTokenSource();
                    recorder.Then = source.Cancel;
                    bf.EncryptFile(big, target, recorder, source.Token);
                }, "OperationCanceledException"),
                Tuple.Create<Action, string>(() => {
                    recorder.Then = () => { throw new InvalidOperationException(); };
                    bf.EncryptFile(big, target, recorder);
                }, "InvalidOperationException"),
                Tuple.Create<Action, string>(() => bf.EncryptFile(big, target, null,
                                                                  cancelled.Token),
                                             "OperationCanceledException"),
            };
            foreach (var stop in stops)
            {
                File.WriteAllText(target, "before");
                Expect("stopped", Outcome(stop.Item1), stop.Item2);
                Expect("target kept", File.ReadAllText(target), "before");
            }
        }
        Expect("nothing left", Directory.GetFiles(folder).Length, 5);

        // The library's refusals, each with its number and description.
        var refusals = new[] {
            Tuple.Create<Action, string>(() => new Blowfish(new byte[0]),
                                         "TolvaneException 9 Subscript out of range"),
            Tuple.Create<Action, string>(() => bf.Encrypt(new byte[7]),
                                         "TolvaneException -2147218101 Byte array must be sized divisible by 8."),
            Tuple.Create<Action, string>(() => bf.DecryptFile(plain, target),
                                         "TolvaneException 321 Invalid file format"),
            Tuple.Create<Action, string>(() => HexCode.Decode("4G"),
                                         "TolvaneException 13 Type mismatch"),
            Tuple.Create<Action, string>(() => { CodePage.Active = 932; },
                                         "TolvaneException 5 "),
            Tuple.Create<Action, string>(() => Base64.Decode("QQ=x"), "TolvaneException 5 "),
        };
        foreach (var refusal in refusals)
        {
            string outcome = Outcome(refusal.Item1);
            Expect(refusal.Item2, outcome.StartsWith(refusal.Item2) ? refusal.Item2 : outcome,
                   refusal.Item2);
        }

        // Cut at the '\0' (or with U+FFFD for the lone surrogate), each would act on "victim".
        string victim = Path.Combine(folder, "victim");
        File.WriteAllText(victim, "kept");
        var bad = new Action[] {
            () => bf.EncryptFile(plain, victim + "\0.enc"),
            () => bf.EncryptFile(victim + "\0.txt", target, recorder),
            () => bf.DecryptFile(sealedFile, victim + "\0"),
            () => bf.CheckFile(victim + "\0.enc"),
            () => bf.EncryptFile(plain, victim + "\ud800"),
            () => Settings.Write("victim\0x", "value"),
            () => Settings.Write("victim", "value\0cut"),
            () => Settings.Write("victim\0x", new byte[1]),
            () => Settings.Read("victim\0x"),
            () => Settings.Delete("victim\0x"),
            () => new Blowfish(null),
        };
        foreach (var call in bad)
            Expect("refused", Outcome(call), "ArgumentException");
        Expect("victim", File.ReadAllText(victim), "kept");
        Expect("no setting written", Settings.Names().Length, 1);

        // Every result the library allocates is freed: a thousand calls leave malloc's total
        // where it was (a dropped free would leave over 8 MiB).
        string text = new string('x', 1024);
        for (int round = 0; round < 2; ++round)
        {
            long before = MallocInUse();
            for (int i = 0; i < 1000; ++i)
            {
                HexCode.Decode(HexCode.Encode(text));
                bf.DecryptText(bf.EncryptText(text));
                CodePage.GetString(CodePage.GetBytes(text));
                Base64.Decode("SGVsbG8=");
                Settings.Read("Demo\\Text");
            }
            if (round == 1)
                Expect("malloc growth under 1 MiB", MallocInUse() - before < (1 << 20), true);
        }

        bf.Dispose();
        bf.Dispose();
        var disposed = new Action[] {
            () => bf.Encrypt(new byte[8]), () => bf.Decrypt(new byte[8]),
            () => bf.EncryptText("x"), () => bf.DecryptText("12345678"),
            () => bf.EncryptFile(plain, target), () => bf.DecryptFile(sealedFile, target),
            () => bf.CheckFile(sealedFile),
        };
        foreach (var call in disposed)
            Expect("disposed", Outcome(call), "ObjectDisposedException");

        if (args.Length > 1)
        {
            var mapped = File.ReadAllLines("/proc/self/maps")
                .Where(line => line.Contains("libtolvane")).Select(line => line.Split(' ').Last())
                .Distinct().ToArray();
            string expected = Path.GetFullPath(args[1]).TrimEnd('/') + "/";
            Expect("native library " + string.Join(" ", mapped),
                   mapped.Length == 1 && mapped[0].StartsWith(expected), true);
        }
        Settings.Delete("Demo\\Text");
        Directory.Delete(folder, true);
        Console.WriteLine("csharp: " + passed + " passed, " + failed + " failed");
        return failed == 0 ? 0 : 1;
    }
}
