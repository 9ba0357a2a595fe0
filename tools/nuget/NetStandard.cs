// Makes an assembly that mcs compiled against the .NET Framework 4.6.1 reference assemblies
// reference netstandard 2.0 instead of mscorlib, so that .NET Framework 4.6.1+ and every .NET
// Core and .NET 5+ project takes it from lib/netstandard2.0. Debian has no netstandard
// reference assembly to compile against: its netstandard.dll is a facade whose types are
// forwarded to mscorlib, and a compiler follows the forwarders. Type references keep their
// names; each must be one the facade forwards, that is one netstandard 2.0 defines, or the
// assembly is refused.
// Usage: mono NetStandard.exe INPUT NETSTANDARD_FACADE OUTPUT
using System;
using System.Collections.Generic;
using Mono.Cecil;

static class NetStandard
{
    static readonly byte[] PublicKeyToken = {0xcc, 0x7b, 0x13, 0xff, 0xcd, 0x2d, 0xdd, 0x51};

    static int Main(string[] args)
    {
        if (args.Length != 3)
        {
            Console.Error.WriteLine("usage: NetStandard.exe INPUT NETSTANDARD_FACADE OUTPUT");
            return 2;
        }
        var defined = new HashSet<string>();
        using (var facade = ModuleDefinition.ReadModule(args[1]))
            foreach (var type in facade.ExportedTypes)
                defined.Add(type.FullName);

        using (var module = ModuleDefinition.ReadModule(args[0]))
        {
            var netstandard = new AssemblyNameReference("netstandard", new Version(2, 0, 0, 0));
            netstandard.PublicKeyToken = PublicKeyToken;
            int missing = 0;
            foreach (var reference in module.AssemblyReferences)
                if (reference.Name != "mscorlib")
                {
                    Console.Error.WriteLine("references " + reference.Name + ", not only mscorlib");
                    ++missing;
                }
            foreach (var type in module.GetTypeReferences())
            {
                var scope = type.Scope as AssemblyNameReference;
                if (scope == null)
                    continue;  // nested in a type that is itself checked
                if (!defined.Contains(type.FullName))
                {
                    Console.Error.WriteLine("not in netstandard 2.0: " + type.FullName);
                    ++missing;
                }
                type.Scope = netstandard;
            }
            if (missing > 0)
                return 1;
            module.AssemblyReferences.Clear();
            module.AssemblyReferences.Add(netstandard);
            module.Write(args[2]);
        }
        return 0;
    }
}
