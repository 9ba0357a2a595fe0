// Runs the built tolvane-crypt as a process, as a user at a terminal would.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/message_capture_testing.h"
#include "tolvane/base/utf8.h"
#include "tolvane/cipher/blowfish.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

struct Result {
  int exit_code = -1;
  std::string out;
  std::string err;
  long peak_kib = 0;  // the most memory the tool held
};

// How the tool's standard streams are set up, besides the input and output files.
enum class Streams { kFiles, kNoStdin, kNoStdout, kStdoutPipeClosed };

// The tool with the fault shim preloaded (fault_shim.cc), with `settings` in its environment.
std::map<std::string, std::string> Shimmed(std::map<std::string, std::string> settings) {
  settings["LD_PRELOAD"] = TOLVANE_CRYPT_SHIM_PATH;
  // A sanitizer's runtime would otherwise refuse to come after the shim.
  const char* asan = std::getenv("ASAN_OPTIONS");
  settings["ASAN_OPTIONS"] = std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0";
  return settings;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& data) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

// What a terminal run does besides typing keys and sending a signal.
struct TerminalSetup {
  int ignored = 0;                      // a signal the tool is started with ignored (nohup)
  std::vector<std::string> after = {};  // typed at the prompts that follow the signal
  std::string wait_for = {};            // send the signal once the tool shows this
  bool job_control = false;             // a shell's foreground job, which Ctrl-Z stops
  bool raw = false;                     // the terminal not in line mode: lines of any length
  std::map<std::string, std::string> env = {};
};

class CryptTool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tolvane-crypt-test-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "tmp");
    key_file_ = dir_ / "key";
    WriteFile(key_file_, "secret key");
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Path(const std::string& name) const { return dir_ / name; }

  // Runs the tool with `args`, feeding `input` on standard input (not a terminal).
  Result Run(const std::vector<std::string>& args, const std::string& input = "",
             const std::map<std::string, std::string>& env = {}, const char* stdout_path = nullptr,
             Streams streams = Streams::kFiles) {
    WriteFile(Path("stdin"), input);
    WriteFile(Path("stdout"), "");
    const std::string out_path = stdout_path ? stdout_path : Path("stdout").string();
    const pid_t pid = fork();
    if (pid == 0) {
      const int in = open(Path("stdin").c_str(), O_RDONLY);
      int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err = open(Path("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (int ends[2]; streams == Streams::kStdoutPipeClosed && pipe(ends) == 0) {
        close(ends[0]);
        out = ends[1];
      }
      dup2(in, 0), dup2(out, 1), dup2(err, 2);
      if (streams == Streams::kNoStdin) close(0);
      if (streams == Streams::kNoStdout) close(1);
      if (chdir(dir_.c_str()) != 0) _exit(126);
      setenv("XDG_CONFIG_HOME", Path("config").c_str(), 1);
      setenv("TMPDIR", Path("tmp").c_str(), 1);
      for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
      std::vector<char*> argv{const_cast<char*>(TOLVANE_CRYPT_PATH)};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(Path("stdout")),
            ReadFile(Path("stderr")), usage.ru_maxrss};
  }

  struct TerminalResult {
    int exit_code = -1;
    std::string seen;
    bool echo_on = false;
  };

  // Runs the tool on a pseudo-terminal, typing each of `typed` at its own key prompt; with
  // `signal`, sends it at the next prompt instead of typing more (SIGTSTP as Ctrl-Z typed),
  // then types what `setup.after` holds. As a job, a stand-in shell continues the tool when it
  // stops, after writing whether echo was on while it was stopped.
  TerminalResult RunOnTerminal(const std::vector<std::string>& args,
                               const std::vector<std::string>& typed, int signal,
                               const TerminalSetup& setup = {}) {
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return {};
    if (termios line{}; setup.raw && tcgetattr(slave, &line) == 0) {
      line.c_lflag &= ~static_cast<tcflag_t>(ICANON);
      line.c_cc[VMIN] = 1;
      line.c_cc[VTIME] = 0;
      tcsetattr(slave, TCSANOW, &line);
    }
    const pid_t pid = fork();
    if (pid == 0) {
      close(master);
      login_tty(slave);
      if (chdir(dir_.c_str()) != 0) _exit(126);
      setenv("TMPDIR", Path("tmp").c_str(), 1);
      for (const auto& [name, value] : setup.env) setenv(name.c_str(), value.c_str(), 1);
      if (setup.ignored != 0) ::signal(setup.ignored, SIG_IGN);
      if (setup.job_control) RunAsJob();
      std::vector<char*> argv{const_cast<char*>(TOLVANE_CRYPT_PATH)};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    if (pid < 0) {  // no child: signalling pid -1 would reach every process of the user
      close(master);
      close(slave);
      return {};
    }
    TerminalResult result;
    const auto count = [&] {
      std::size_t n = 0;
      for (std::size_t at = 0; (at = result.seen.find("Key", at)) != std::string::npos; ++at) ++n;
      return n;
    };
    // Reads what the tool shows until `done` or it goes quiet.
    auto read_while = [&](auto not_done, int timeout_ms) {
      char buffer[256];
      pollfd p{master, POLLIN, 0};
      while (not_done() && poll(&p, 1, timeout_ms) > 0) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) break;
        result.seen.append(buffer, static_cast<std::size_t>(n));
      }
    };
    // ... until `prompts` key prompts have appeared.
    auto read_until = [&](std::size_t prompts, int timeout_ms) {
      read_while([&] { return count() < prompts; }, timeout_ms);
    };
    auto type = [&](const std::string& text) {
      for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = write(master, text.data() + done, text.size() - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
      }
      return true;
    };
    for (std::size_t i = 0; i < typed.size(); ++i) {
      read_until(i + 1, 5000);
      if (!type(typed[i] + "\n")) break;
    }
    if (signal != 0) {
      if (!setup.wait_for.empty()) {
        read_while([&] { return result.seen.find(setup.wait_for) == std::string::npos; }, 10000);
      } else {
        // Without a prompt to wait for, give the tool a moment to get going.
        const bool prompts = std::find(args.begin(), args.end(), "--key-file") == args.end();
        read_until(typed.size() + 1, prompts ? 5000 : 1500);
      }
      if (signal == SIGTSTP) {
        type("\x1A");  // Ctrl-Z: the terminal stops its foreground job
      } else {
        kill(pid, signal);
      }
      // A stopped and continued prompt is shown again.
      const std::size_t shown_again = signal == SIGTSTP && setup.job_control ? 1 : 0;
      for (std::size_t i = 0; i < setup.after.size(); ++i) {
        read_until(typed.size() + 1 + shown_again + i, 5000);
        if (!type(setup.after[i] + "\n")) break;
      }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    read_until(SIZE_MAX, 0);  // what is left; the tool has ended
    termios state{};
    result.echo_on = tcgetattr(slave, &state) == 0 && (state.c_lflag & ECHO) != 0;
    close(master);
    close(slave);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
  }

  // In the child on the terminal: returns in a new process group that is the terminal's
  // foreground, to run the tool, while this process stays as its shell: it continues the tool
  // each time it stops, writing "[stopped, echo on]" or "[stopped, echo off]" first, and exits
  // with the tool's exit code.
  static void RunAsJob() {
    const pid_t job = fork();
    if (job == 0) {
      setpgid(0, 0);
      sigset_t quiet, before;
      sigemptyset(&quiet);
      sigaddset(&quiet, SIGTTOU);  // a background group taking the terminal
      sigprocmask(SIG_BLOCK, &quiet, &before);
      tcsetpgrp(STDIN_FILENO, getpid());
      sigprocmask(SIG_SETMASK, &before, nullptr);
      return;
    }
    if (job < 0) _exit(126);
    setpgid(job, job);
    int status = 0;
    while (waitpid(job, &status, WUNTRACED) == job && WIFSTOPPED(status)) {
      termios state{};
      const bool echo = tcgetattr(STDIN_FILENO, &state) == 0 && (state.c_lflag & ECHO) != 0;
      const char* note = echo ? "[stopped, echo on]" : "[stopped, echo off]";
      (void)!write(STDERR_FILENO, note, std::strlen(note));
      kill(job, SIGCONT);
    }
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 125);
  }

  Result RunKeyed(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin() + 1, {"--key-file", key_file_.string()});
    return Run(args, input);
  }

  fs::path dir_;
  fs::path key_file_;
};

TEST_F(CryptTool, FilesRoundTripThroughTheToolAndInPlace) {
  // The last is large enough for the cipher work to be shared among threads (all cores by
  // default); one thread must give the same file.
  for (const std::string& content : {std::string(), std::string("x"), std::string(1000, '\0'),
                                     std::string("seventeen bytes!!"), std::string(600001, 'q')}) {
    WriteFile(Path("plain"), content);
    ASSERT_EQ(RunKeyed({"encrypt-file", "--threads", "1", Path("plain"), Path("enc")}).exit_code,
              0);
    const std::string one_thread = ReadFile(Path("enc"));
    ASSERT_EQ(RunKeyed({"encrypt-file", Path("plain"), Path("enc")}).exit_code, 0);
    EXPECT_EQ(ReadFile(Path("enc")), one_thread);
    const std::size_t padded = (content.size() + 7) / 8 * 8;
    EXPECT_EQ(fs::file_size(Path("enc")), 4 + padded);
    ASSERT_EQ(RunKeyed({"decrypt-file", Path("enc"), Path("back")}).exit_code, 0);
    EXPECT_EQ(ReadFile(Path("back")), content);

    ASSERT_EQ(RunKeyed({"encrypt-file", Path("plain"), Path("plain")}).exit_code, 0);
    EXPECT_EQ(ReadFile(Path("plain")), ReadFile(Path("enc")));
    ASSERT_EQ(RunKeyed({"decrypt-file", Path("plain"), Path("plain")}).exit_code, 0);
    EXPECT_EQ(ReadFile(Path("plain")), content);
  }
}

TEST_F(CryptTool, FilesInterchangeWithTheLibrary) {
  Blowfish bf;
  bf.sInitBF(std::vector<std::uint8_t>{'s', 'e', 'c', 'r', 'e', 't', ' ', 'k', 'e', 'y'});
  const std::string content = "made by one side, read by the other";
  WriteFile(Path("plain"), content);

  testing::MessageCapture capture;
  bf.sFileEncrypt(Path("plain"), Path("by-library"));
  ASSERT_EQ(RunKeyed({"decrypt-file", Path("by-library"), Path("out1")}).exit_code, 0);
  EXPECT_EQ(ReadFile(Path("out1")), content);

  ASSERT_EQ(RunKeyed({"encrypt-file", Path("plain"), Path("by-tool")}).exit_code, 0);
  EXPECT_EQ(ReadFile(Path("by-tool")), ReadFile(Path("by-library")));
  bf.sFileDecrypt(Path("by-tool"), Path("out2"));
  EXPECT_EQ(ReadFile(Path("out2")), content);
  EXPECT_TRUE(capture.messages().empty());
}

TEST_F(CryptTool, TextRoundTripsThroughTheHexadecimalCode) {
  for (const std::string& text :
       {std::string("a"), std::string("eight ch"), std::string("caf\xC3\xA9 \xE2\x82\xAC 5")}) {
    const Result enc = RunKeyed({"encrypt-text", text});
    ASSERT_EQ(enc.exit_code, 0) << enc.err;
    const std::size_t units = Utf8ToUtf16(text).size();
    EXPECT_EQ(enc.out.size(), (units + 7) / 8 * 8 * 4 + 1) << "four digits per character";
    const Result dec = RunKeyed({"decrypt-text"}, enc.out);  // from standard input
    ASSERT_EQ(dec.exit_code, 0) << dec.err;
    EXPECT_EQ(dec.out, text);
  }
  // Raw cipher bytes in the code page, through standard input.
  const Result raw = RunKeyed({"encrypt-text", "--raw", "raw text"});
  ASSERT_EQ(raw.exit_code, 0);
  EXPECT_EQ(raw.out.size(), 8u);
  EXPECT_EQ(RunKeyed({"decrypt-text", "--raw"}, raw.out).out, "raw text");
}

TEST_F(CryptTool, LongTextIsConvertedPieceByPiece) {
  // The second's code is beyond 64 MiB: what the tool prints, it reads back.
  for (const std::size_t size : {std::size_t{20000}, (std::size_t{16} << 20) + 8}) {
    const std::string text(size, 'q');
    const Result hex = Run({"hex"}, text);
    ASSERT_EQ(hex.exit_code, 0) << hex.err;
    EXPECT_EQ(hex.out.size(), 4 * text.size() + 1);
    EXPECT_EQ(Run({"unhex"}, hex.out).out, text);
    const Result enc = RunKeyed({"encrypt-text"}, text);
    ASSERT_EQ(enc.exit_code, 0) << enc.err;
    const Result dec = RunKeyed({"decrypt-text"}, enc.out);
    EXPECT_EQ(dec.out, text);
#ifndef __SANITIZE_ADDRESS__  // which keeps what is freed for a while
    // Memory stays a small multiple of the input, not of its code.
    const long input_kib = static_cast<long>(size / 1024);
    EXPECT_LT(enc.peak_kib, 20 * 1024 + 8 * input_kib);
    EXPECT_LT(dec.peak_kib, 20 * 1024 + 3 * 4 * input_kib);
#endif
  }
}

TEST_F(CryptTool, EveryKeySourceGivesTheSameKey) {
  const std::string expected = RunKeyed({"encrypt-text", "same"}).out;
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(Run({"encrypt-text", "--key-env", "K", "same"}, "", {{"K", "secret key"}}).out,
            expected);
  const std::string hex = expected.substr(0, expected.size() - 1);
  // Typed keys as long as the cipher takes, and one byte longer.
  const std::string longest(32767, 'k'), too_long(32768, 'k');
  WriteFile(Path("longest"), longest);
  std::string longest_hex = Run({"encrypt-text", "--key-file", "longest", "same"}).out;
  ASSERT_FALSE(longest_hex.empty());
  longest_hex.pop_back();  // the terminal ends the line as \r\n
  // Being interrupted while writing a file that has a name until it is complete.
  std::ofstream(Path("sparse")).close();
  fs::resize_file(Path("sparse"), std::uint64_t{1} << 30);

  // The prompt needs a terminal: the tool runs on a pseudo-terminal and the key is typed,
  // twice when encrypting. Every run must leave echo on, also when a signal ends it.
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> typed;
    int signal;
    int exit_code;
    std::string seen;
    TerminalSetup setup = {};
  } cases[] = {
      {{"encrypt-text", "same"}, {"secret key", "secret key"}, 0, 0, hex},
      {{"decrypt-text", hex}, {"secret key"}, 0, 0, "same"},
      {{"encrypt-text", "same"}, {"secret key", "secret kez"}, 0, 2, "differ"},
      {{"encrypt-text", "same"},
       {"\xC3\xA9t\xC3\xA9 \xE2\x82\xAC", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC"},
       0,
       0,
       "Key again"},
      {{"decrypt-text", hex}, {"\xD0\xB0\xD0\xB1"}, 0, 2, "U+0430"},
      {{"encrypt-text", "same"}, {}, SIGINT, 128 + SIGINT, "Key"},
      {{"decrypt-file", "in", "out"}, {}, SIGTERM, 128 + SIGTERM, "Key"},
      {{"encrypt-text", "same"}, {"secret key"}, SIGHUP, 128 + SIGHUP, "Key again"},
      // Standard input (the terminal) still being read, with output bound for standard output.
      {{"encrypt-file", "--key-file", key_file_.string(), "-", "-"},
       {},
       SIGTERM,
       128 + SIGTERM,
       ""},
      {{"encrypt-file", "--key-file", key_file_.string(), "--progress", "sparse", "tmp/out"},
       {},
       SIGTERM,
       128 + SIGTERM,
       "MiB of",
       {0, {}, "MiB of", false, false, Shimmed({{"TOLVANE_SHIM_NO_TMPFILE", "1"}})}},
      // Ctrl-Z at the prompt: echo is on while the tool is stopped, off again after.
      {{"encrypt-text", "same"},
       {},
       SIGTSTP,
       0,
       "[stopped, echo on]",
       {0, {"secret key", "secret key"}, {}, true}},
      {{"encrypt-text", "same"}, {"secret key"}, SIGTSTP, 0, hex, {0, {"secret key"}, {}, true}},
      // A signal ignored at start (nohup, a script's background job) stays ignored.
      {{"decrypt-text", hex}, {}, SIGHUP, 0, "same", {SIGHUP, {"secret key"}}},
      {{"decrypt-text", hex}, {}, SIGINT, 0, "same", {SIGINT, {"secret key"}}},
      // Typed keys are taken up to the cipher's limit and refused beyond it, never cut.
      {{"encrypt-text", "same"}, {longest, longest}, 0, 0, longest_hex, {0, {}, {}, false, true}},
      {{"decrypt-text", hex}, {too_long}, 0, 2, "longer than 32767", {0, {}, {}, false, true}},
  };
  for (const auto& c : cases) {
    const TerminalResult r = RunOnTerminal(c.args, c.typed, c.signal, c.setup);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.args[0] << " " << r.seen;
    EXPECT_NE(r.seen.find(c.seen), std::string::npos) << r.seen;
    EXPECT_EQ(r.seen.find("secret"), std::string::npos) << "the key must not be echoed";
    EXPECT_TRUE(r.echo_on) << r.seen;
    EXPECT_TRUE(fs::is_empty(Path("tmp"))) << c.args[0];
  }
}

TEST_F(CryptTool, HexBase64AndSettings) {
  EXPECT_EQ(Run({"hex", "A\xE2\x82\xAC"}).out, "4100AC20\n");
  EXPECT_EQ(Run({"unhex", "4a00"}).out, "J");
  EXPECT_EQ(Run({"base64-decode"}, "aGVs\nbG8=\n").out, "hello");
  ASSERT_EQ(Run({"base64-decode", "-", "-o", Path("decoded")}, "AAEC").exit_code, 0);
  EXPECT_EQ(ReadFile(Path("decoded")), std::string("\0\1\2", 3));

  ASSERT_EQ(Run({"set", "Greeting", "gr\xC3\xBC\xC3\x9F"}).exit_code, 0);
  EXPECT_EQ(Run({"get", "Greeting"}).out, "gr\xC3\xBC\xC3\x9F\n");
  WriteFile(Path("blob"), std::string("\0\xFF\0", 3));
  ASSERT_EQ(Run({"set", "--binary", "Greeting", Path("blob")}).exit_code, 0);
  EXPECT_EQ(Run({"get", "Greeting"}).out, std::string("\0\xFF\0", 3));
}

// Each row runs in the test folder, in order, so that a row may use what an earlier one made.
TEST_F(CryptTool, FailuresAndTheirExitCodes) {
  WriteFile(Path("short"), "abc");
  WriteFile(Path("target"), "keep me");
  WriteFile(Path("other-key"), "other key");
  WriteFile(Path("key-max"), std::string(32767, 'k'));
  WriteFile(Path("key-over"), std::string(32768, 'k'));
  WriteFile(Path("key-empty"), "");
  WriteFile(Path("eight"), "8 bytes!");
  WriteFile(Path("victim"), "not to be written through");
  fs::create_symlink("victim", Path("link"));
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int exit_code;
    std::string stderr_part;
    std::optional<std::string> out = std::nullopt;  // standard output, exactly
    std::vector<std::string> exists = {};
    std::vector<std::string> absent = {};
    std::map<std::string, std::string> env = {};
  };
  const std::string settings = "config/Brennix/Tolvane/settings.sqlite3";
  const std::string lossy_hex = RunKeyed({"encrypt-text", "??"}).out;
  WriteFile(Path("hello"), "hello");
  ASSERT_EQ(RunKeyed({"encrypt-file", Path("hello"), Path("hello.enc")}).exit_code, 0);
  const std::string enc = ReadFile(Path("hello.enc"));
  WriteFile(Path("lying"), std::string("\x64\0\0\0", 4) + "12345678");
  WriteFile(Path("ragged"), std::string("\x09\0\0\0", 4) + "123456789");
  // Several chunks of the streaming, shared among threads, not a multiple of 8.
  std::string big(3 * 1024 * 1024 + 5, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7919 % 251);
  WriteFile(Path("big"), big);
  ASSERT_EQ(RunKeyed({"encrypt-file", Path("big"), Path("big.enc")}).exit_code, 0);
  const std::string big_enc = ReadFile(Path("big.enc"));
  const std::string k = key_file_.string();
  // U+007F/0080, U+07FF/0800, U+D7FF and U+E000 around the surrogates, U+FFFF/10000, U+10FFFF.
  const std::string edges =
      "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F"
      "\xBF\xBF";
  const std::string edges_hex = "7F008000FF070008FFD700E0FFFF00D800DCFFDBFFDF";
  const std::string key_max(32767, 'k'), key_over(32768, 'k');
  const std::map<std::string, std::string> cyrillic{{"K", "\u0430\u0431\u0432\u0433"}};
  const std::string bom = "\xEF\xBB\xBF", le = "\xFF\xFE";
  const auto utf16le = [&le](const std::string& ascii) {
    std::string s = le;
    for (const char c : ascii) s += {c, '\0'};
    return s;
  };
  const auto no_tmp = Shimmed({{"TOLVANE_SHIM_NO_TMPFILE", "1"}});
  const auto late = Shimmed({{"TOLVANE_SHIM_SIGNAL_AFTER_RENAME", std::to_string(SIGTERM)}});
  const Case cases[] = {
      {{}, "", 2, "subcommand"},
      {{"frobnicate"}, "", 2, "--help"},
      {{"frobnicate", "x"}, "", 2, "unknown subcommand 'frobnicate'"},
      // Names are shown escaped, so that a message stays one line and sends the terminal nothing.
      {{"encrypt-file", "--key-file", k, "new\nline\x1B[1m\xFF", "target"},
       "",
       1,
       "encrypt-file 'new\\nline\\x1B[1m\\xFF': "},
      {{"encrypt-file", "--key-file", k, "only-one"}, "", 2, "DST"},
      {{"encrypt-file", "--key-file", k, "--key-env", "X", "a", "b"}, "", 2, "excludes"},
      {{"encrypt-file", "a", "b"}, "", 2, "no key given"},
      {{"encrypt-file", "--key-env", "TOLVANE_UNSET_VARIABLE", "a", "b"}, "", 2, "not set"},
      {{"encrypt-text", "--key-file", k, "--code-page", "932", "x"}, "", 2, "932"},
      {{"decrypt-file", "--key-file", k, "--threads", "-1", "a", "b"}, "", 2, "--threads"},
      {{"encrypt-file", "--key-file", Path("no-key"), "a", "b"}, "", 1, "no-key"},
      {{"encrypt-file", "--key-file", k, Path("missing"), Path("target")},
       "",
       1,
       "Blowfish, sFileEncrypt(-2147218102 - Source file is not found)"},
      {{"decrypt-file", "--key-file", k, Path("short"), Path("target")},
       "",
       1,
       "Blowfish, sFileDecrypt("},
      {{"decrypt-text", "--key-file", k, "41004100410041004100410041004100410041"},
       "",
       1,
       "String to decrypt should be sized divisible by 8."},
      {{"unhex", "4G00"}, "", 1, "Blowfish, fHexCodeToString(13 - Type mismatch)"},
      // Each failure of the cipher work under the label it has always been reported under.
      {{"decrypt-file", "--key-file", k, Path("ragged"), Path("target")},
       "",
       1,
       "decrypt-file '" + Path("ragged").string() +
           "': Blowfish, sDecrypt(-2147218101 - Byte array must be sized divisible by 8.)"},
      {{"encrypt-text", "--key-file", k, ""},
       "",
       1,
       "Blowfish, sEncrypt(9 - Subscript out of range)"},
      {{"encrypt-text", "--key-file", k, "--lossy", "x"},
       "",
       1,
       "encrypt-text: Blowfish, sStringToByte(5 - TOLVANE_ANSI_CODEPAGE names code page 932",
       "",
       {},
       {},
       {{"TOLVANE_ANSI_CODEPAGE", "932"}}},
      {{"decrypt-text", "--key-file", k, "41004100410041004100410041004100"},
       "",
       1,
       "decrypt-text: Blowfish, sStringToByte(5 - ",
       "",
       {},
       {},
       {{"TOLVANE_ANSI_CODEPAGE", "932"}}},
      // Cipher text of a wrong length is refused as such before the page is needed.
      {{"decrypt-text", "--key-file", k, "41004100410041004100410041004100410041"},
       "",
       1,
       "decrypt-text: Blowfish, sStringDecrypt(-2147218101 - ",
       "",
       {},
       {},
       {{"TOLVANE_ANSI_CODEPAGE", "932"}}},
      // A refused code page that no option gave says how to choose another.
      {{"encrypt-text", "--key-file", k, "x"},
       "",
       1,
       "1258); give a supported one with --code-page N or the environment variable "
       "TOLVANE_ANSI_CODEPAGE\n",
       "",
       {},
       {},
       {{"TOLVANE_ANSI_CODEPAGE", "932"}}},
      // UTF-8 both ways at each change of encoded length; surrogates encoded directly are
      // refused.
      {{"hex", edges}, "", 0, "", edges_hex + "\n"},
      {{"unhex", edges_hex}, "", 0, "", edges},
      {{"hex", "\xED\xA0\x80"}, "", 1, "not valid UTF-8 at byte 0\n", ""},
      {{"hex", "a\xED\xBF\xBF"}, "", 1, "not valid UTF-8 at byte 1", ""},
      // Text input may start with a byte-order mark: one UTF-8 mark is dropped, UTF-16 with
      // its mark is read as UTF-16.
      {{"unhex"}, bom + "4100\r\n", 0, "", "A"},
      {{"hex"}, bom, 0, "", "\n"},
      {{"hex"}, bom + bom + "A" + bom, 0, "", "FFFE4100FFFE\n"},
      {{"hex"}, le + std::string("A\0\xAC\x20\x3D\xD8\0\xDE", 8), 0, "", "4100AC203DD800DE\n"},
      {{"hex"}, std::string("\xFE\xFF\0A", 4), 0, "", "4100\n"},
      {{"unhex"}, utf16le("4a00\n"), 0, "", "J"},
      {{"encrypt-text", "--key-file", k}, bom + "??", 0, "", lossy_hex},
      {{"decrypt-text", "--key-file", k}, utf16le(lossy_hex), 0, "", "??"},
      {{"hex"}, le + "A", 1, "odd number of bytes", ""},
      {{"hex"}, le + std::string("\0\xD8\x41\0", 4), 1, "surrogate pair at byte 2", ""},
      {{"hex"}, std::string("\xFE\xFF\xDC\x00", 4), 1, "surrogate pair at byte 2", ""},
      {{"base64-decode"}, "a*bc", 1, "tolvane-crypt: "},
      {{"base64-decode"}, bom + "QQ==\n", 0, "", "A"},
      {{"base64-decode"}, utf16le("QUI=\r\n"), 0, "", "AB"},
      {{"set", "\\lead", "x"}, "", 1, "set '\\lead': A text setting's name is a path of keys"},
      {{"get", "Nothing"}, "", 1, "get 'Nothing': no setting"},
      // Text keys must convert exactly; key files are bounded and taken as they are.
      {{"encrypt-text", "--key-env", "K", "x"},
       "",
       2,
       "U+5BC6 '\u5BC6'",
       "",
       {},
       {},
       {{"K", "\u5BC6\u7801\u673A\u5BC6"}}},
      {{"encrypt-text", "--key-env", "K", "x"},
       "",
       2,
       "--code-page N",
       "",
       {},
       {},
       {{"K", "\u0430\u0431\u0432\u0433"}}},
      {{"encrypt-text", "--key-env", "K", "--code-page", "1251", "x"},
       "",
       0,
       "",
       {},
       {},
       {},
       {{"K", "\u0430\u0431\u0432\u0433"}}},
      {{"encrypt-text", "--key-file", "/dev/zero", "x"}, "", 1, "--key-file '/dev/zero'", ""},
      {{"encrypt-text", "--key-file", "key-over", "x"}, "", 1, "32767", ""},
      {{"encrypt-text", "--key-file", "key-empty", "x"}, "", 1, "empty", ""},
      {{"encrypt-text", "--key-file", "key-max", "x"}, "", 0, ""},
      {{"encrypt-text", "--key-env", "K", "x"}, "", 0, "", {}, {}, {}, {{"K", key_max}}},
      {{"encrypt-text", "--key-env", "K", "x"},
       "",
       2,
       "limit of 32767",
       "",
       {},
       {},
       {{"K", key_over}}},
      {{"encrypt-text", "--key-file", "-", "x"},
       "secret key",
       0,
       "",
       RunKeyed({"encrypt-text", "x"}).out},
      {{"encrypt-text", "--key-file", "-"}, "secret key", 2, "standard input cannot give both", ""},
      {{"encrypt-file", "--key-file", "/dev/stdin", "-", "target"},
       "secret key",
       2,
       "standard input cannot give both"},
      // Text that would not come back as it was, unless --lossy.
      {{"encrypt-text", "--key-file", k}, std::string("a\0b", 3), 1, "U+0000) at position 2", ""},
      {{"encrypt-text", "--key-file", k}, std::string("\0abc", 4), 1, "at position 1", ""},
      {{"encrypt-text", "--key-file", k, "--lossy"}, std::string("\0abc", 4), 0, ""},
      {{"unhex", "410000D8"}, "", 1, "U+D800, at position 2", ""},
      {{"unhex", "3DD800DE"}, "", 0, "", "\xF0\x9F\x98\x80"},
      // Text to encrypt must convert exactly too, unless --lossy says otherwise.
      {{"encrypt-text", "--key-file", k, "\u4F60\u597D"},
       "",
       1,
       "U+4F60 '\u4F60' at position 1",
       ""},
      {{"encrypt-text", "--key-file", k}, "a\u20AC\U0001F600", 1, "U+1F600", ""},
      {{"encrypt-text", "--key-file", k, "x\u0100"}, "", 1, "U+0100 '\u0100' at position 2", ""},
      {{"encrypt-text", "--key-file", k, "--lossy", "\u4F60\u597D"}, "", 0, "", lossy_hex},
      // Bounded whole reads.
      {{"base64-decode", "/dev/zero"}, "", 1, "64 MiB", ""},
      {{"set", "--binary", "Blob", "/dev/zero"}, "", 1, "64 MiB", "", {}, {settings}},
      // - for standard streams; ./- for a file of that name.
      {{"encrypt-file", "--key-file", k, "-", "enc"}, "hello", 0, "", "", {"enc"}},
      {{"decrypt-file", "--key-file", k, "enc", "-"}, "", 0, "", "hello", {}, {"-"}},
      {{"decrypt-file", "--key-file", k, "enc", "./-"}, "", 0, "", "", {"-"}},
      {{"encrypt-file", "--key-file", k, "./-", "-"}, "", 0, "", enc},
      // Streamed to standard output; a refused file prints nothing, however long.
      {{"encrypt-file", "--key-file", k, "big", "-"}, "", 0, "", big_enc},
      {{"decrypt-file", "--key-file", k, "big.enc", "-"}, "", 0, "", big},
      {{"decrypt-file", "--key-file", "other-key", "big.enc", "-"}, "", 1, "321 - ", ""},
      {{"decrypt-file", "--key-file", k, "-", "-"}, enc, 0, "", "hello"},
      // Spooled standard input is named as such, never by an internal path.
      {{"decrypt-file", "--key-file", "other-key", "-", "-"},
       enc,
       1,
       "decrypt-file standard input: Blowfish, sFileDecrypt(321 - Invalid file format: standard "
       "input ends",
       ""},
      // Where unnamed files are missing, the spool and the target's temporary file are named
      // ones, removed all the same (the folders are checked below).
      {{"encrypt-file", "--key-file", k, "-", "by-name"},
       "hello",
       0,
       "",
       "",
       {"by-name"},
       {},
       no_tmp},
      // A signal while the target is put in place, which then fails: the run was interrupted.
      {{"encrypt-file", "--key-file", k, "hello", "failed"},
       "",
       128 + SIGINT,
       "",
       "",
       {},
       {"failed"},
       Shimmed({{"TOLVANE_SHIM_SIGNAL_IN_FAILED_RENAME", std::to_string(SIGINT)}})},
      // A signal just after the target was replaced: the work is done.
      {{"encrypt-file", "--key-file", k, "hello", "replaced"},
       "",
       0,
       "",
       "",
       {"replaced"},
       {},
       late},
      {{"decrypt-file", "--key-file", k, "short", "-"},
       "",
       1,
       "decrypt-file 'short': Blowfish, sFileDecrypt(9 - ",
       ""},
      {{"decrypt-file", "--key-file", "other-key", "enc", "-"},
       "",
       1,
       "decrypt-file 'enc': Blowfish, sFileDecrypt(321 - Invalid file format",
       ""},
      {{"encrypt-file", "--key-file", k, "--progress", "enc", "enc2"},
       "",
       0,
       "(100%)",
       "",
       {"enc2"}},
      // check writes nothing and tells whether the key fits.
      {{"check", "--key-env", "K", "--code-page", "1251", "enc"},
       "",
       1,
       "321",
       "",
       {},
       {},
       cyrillic},
      {{"check", "--key-file", k, "enc"}, "", 0, "the key fits", ""},
      {{"check", "--key-file", "other-key", "enc"}, "", 1, "check 'enc': 321 - ", ""},
      {{"check", "--key-file", "other-key", "-"}, enc, 1, "321 - ", ""},
      {{"check", "--key-file", k, "lying"}, "", 1, "321 - Invalid file format", ""},
      {{"encrypt-file", "--key-file", k, "eight", "eight.enc"}, "", 0, ""},
      {{"check", "--key-file", "other-key", "eight.enc"}, "", 0, "cannot be checked", ""},
      // Settings written by the tool are private and never written through a link.
      {{"set", "Secret", "s3cret"}, "", 0, "", "", {settings}},
      {{"get", "Secret", "-o", "link"}, "", 0, "", ""},
      {{"base64-decode", "-", "-o", "decoded"}, "AAEC", 0, "", ""},
      {{"set", "--binary", "Blob", "-"}, std::string("\0\1", 2), 0, ""},
      {{"list"}, "", 0, "", "binary  Blob\ntext    Secret\n"},
      // Names that would break the listing's lines are quoted.
      {{"set", "a\nb", "x"}, "", 0, ""},
      {{"set", "\"q\"", "x"}, "", 0, ""},
      {{"list"},
       "",
       0,
       "",
       "text    \"\\\"q\\\"\"\nbinary  Blob\ntext    Secret\ntext    \"a\\nb\"\n"},
      {{"delete", "a\nb"}, "", 0, ""},
      {{"delete", "\"q\""}, "", 0, ""},
      {{"delete", "Blob"}, "", 0, ""},
      {{"delete", "Blob"}, "", 1, "delete 'Blob': no setting"},
      {{"list"}, "", 0, "", "text    Secret\n"},
  };
  for (const Case& c : cases) {
    const Result r = Run(c.args, c.input, c.env);
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    EXPECT_EQ(r.exit_code, c.exit_code) << joined << "\n" << r.err;
    EXPECT_NE(r.err.find(c.stderr_part), std::string::npos) << joined << "\n" << r.err;
    if (c.out) {
      EXPECT_EQ(r.out, *c.out) << joined;
    }
    for (const auto& f : c.exists) EXPECT_TRUE(fs::exists(Path(f))) << joined << f;
    for (const auto& f : c.absent) EXPECT_FALSE(fs::exists(Path(f))) << joined << f;
  }

  // A standard stream that is closed and needed is an error (no file of the tool takes its
  // descriptor); a closed pipe is an error exit, not death by SIGPIPE.
  const struct {
    std::vector<std::string> args;
    std::string input;
    Streams streams;
    std::string stderr_part;
  } closed[] = {
      {{"encrypt-file", "--key-file", k, "-", "target"}, "", Streams::kNoStdin, "input: Bad file"},
      {{"base64-decode", "-", "-o", "target"}, "", Streams::kNoStdin, "input: Bad file"},
      {{"encrypt-file", "--key-file", k, "-", "-"}, "data", Streams::kNoStdout, "output: Bad file"},
      {{"decrypt-file", "--key-file", k, "-", "-"}, enc, Streams::kNoStdout, "output: Bad file"},
      {{"hex", "x"}, "", Streams::kNoStdout, "output: Bad file"},
      {{"get", "Secret"}, "", Streams::kNoStdout, "output: Bad file"},
      {{"decrypt-file", "--key-file", k, "big.enc", "-"},
       "",
       Streams::kStdoutPipeClosed,
       "Broken pipe"},
  };
  for (const auto& c : closed) {
    const Result r = Run(c.args, c.input, {}, nullptr, c.streams);
    EXPECT_EQ(r.exit_code, 1) << c.args[0] << " " << r.err;
    EXPECT_NE(r.err.find(c.stderr_part), std::string::npos) << r.err;
  }
  // The progress line's last call comes once.
  const std::string progress = RunKeyed({"decrypt-file", "--progress", "big.enc", "back"}).err;
  EXPECT_EQ(progress.find("(100%)"), progress.rfind("(100%)")) << progress;

  // Output that cannot be written fails the run, on standard output and through -o alike; a
  // device named by -o is refused, never replaced (a node of our own where root may make one).
  const std::string full = mknod(Path("full").c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0
                               ? Path("full").string()
                               : "/dev/full";
  const std::vector<std::string> printing[] = {
      {"encrypt-file", "--key-file", k, "hello", "-"},
      {"decrypt-file", "--key-file", k, "enc", "-"},
      {"encrypt-text", "--key-file", k, "x"},
      {"decrypt-text", "--key-file", k, lossy_hex},
      {"hex", "x"},
      {"unhex", "4100"},
      {"base64-decode", "-"},
      {"base64-decode", "-", "-o", full},
      {"get", "Secret"},
      {"get", "Secret", "-o", full},
      {"list"},
      {"hex", "--help"},
  };
  for (const auto& args : printing) {
    EXPECT_EQ(Run(args, "AAEC", {}, "/dev/full").exit_code, 1) << args[0] << " " << args.back();
  }
  EXPECT_TRUE(fs::is_character_file(full));

  EXPECT_EQ(ReadFile(Path("target")), "keep me");
  EXPECT_EQ(ReadFile(Path("victim")), "not to be written through");
  EXPECT_EQ(ReadFile(Path("link")), "s3cret");
  EXPECT_EQ(ReadFile(Path("decoded")), std::string("\0\1\2", 3));
  for (const char* name : {"link", "decoded"}) {
    EXPECT_EQ(fs::status(Path(name)).permissions(), fs::perms::owner_read | fs::perms::owner_write)
        << name;
  }
  // No temporary file of any kind is left behind.
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
  }
  EXPECT_TRUE(fs::is_empty(Path("tmp")));
}

TEST_F(CryptTool, EverySubcommandHasHelp) {
  for (const char* cmd : {"encrypt-file", "decrypt-file", "check", "encrypt-text", "decrypt-text",
                          "hex", "unhex", "base64-decode", "set", "get", "list", "delete"}) {
    const Result r = Run({cmd, "--help"});
    EXPECT_EQ(r.exit_code, 0) << cmd;
    EXPECT_NE(r.out.find("Usage"), std::string::npos) << cmd;
  }
  const Result version = Run({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, "tolvane-crypt " TOLVANE_VERSION "\n");
}

}  // namespace
}  // namespace tolvane
