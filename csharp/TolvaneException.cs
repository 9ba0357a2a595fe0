using System;

namespace Tolvane
{
    /// <summary>A failure the library reported: its error number and its description.</summary>
    /// <remarks>
    /// The numbers are the library's: for example 5 for an argument it cannot use, 9 for an
    /// empty key, 18 for work stopped, 53 for a missing file, 321 for a file that is not in the
    /// encrypted format or was encrypted with another key, -2147218101 for byte arrays whose
    /// size is not a multiple of 8.
    /// </remarks>
    public class TolvaneException : Exception
    {
        /// <summary>An exception with the given error number and description.</summary>
        public TolvaneException(int number, string message) : base(message)
        {
            Number = number;
        }

        /// <summary>The library's error number.</summary>
        public int Number { get; }

        // The number a call returned with the description the library kept for this thread.
        // Called straight after the failed call, on the same thread, before anything else can
        // replace the description.
        internal static void Check(int number)
        {
            if (number != 0)
                throw new TolvaneException(
                    number, NativeText.Utf8z(NativeMethods.tolvane_last_error_message()));
        }
    }
}
