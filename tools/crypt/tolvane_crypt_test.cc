// Runs the built tolvane-crypt as a process, as a user at a terminal would.

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tolvane/cipher/blowfish.h"
#include "tolvane/errors/message_capture_testing.h"
#include "tolvane/support/utf8.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

struct Result {
  int exit_code = -1;
  std::string out;
  std::string err;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& data) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

class CryptTool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tolvane-crypt-test-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    key_file_ = dir_ / "key";
    WriteFile(key_file_, "secret key");
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Path(const std::string& name) const { return dir_ / name; }

  // Runs the tool with `args`, feeding `input` on standard input (not a terminal).
  Result Run(const std::vector<std::string>& args, const std::string& input = "",
             const std::map<std::string, std::string>& env = {}) {
    WriteFile(Path("stdin"), input);
    const pid_t pid = fork();
    if (pid == 0) {
      const int in = open(Path("stdin").c_str(), O_RDONLY);
      const int out = open(Path("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err = open(Path("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(in, 0), dup2(out, 1), dup2(err, 2);
      setenv("XDG_CONFIG_HOME", Path("config").c_str(), 1);
      for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
      std::vector<char*> argv{const_cast<char*>(TOLVANE_CRYPT_PATH)};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(Path("stdout")),
            ReadFile(Path("stderr"))};
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
  const std::string text(20000, 'q');
  const Result hex = Run({"hex"}, text);
  ASSERT_EQ(hex.exit_code, 0) << hex.err;
  EXPECT_EQ(hex.out.size(), 4 * text.size() + 1);
  EXPECT_EQ(Run({"unhex"}, hex.out).out, text);
  const Result enc = RunKeyed({"encrypt-text"}, text);
  ASSERT_EQ(enc.exit_code, 0) << enc.err;
  EXPECT_EQ(RunKeyed({"decrypt-text"}, enc.out).out, text);
}

TEST_F(CryptTool, EveryKeySourceGivesTheSameKey) {
  const std::string expected = RunKeyed({"encrypt-text", "same"}).out;
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(Run({"encrypt-text", "--key-env", "K", "same"}, "", {{"K", "secret key"}}).out,
            expected);

  // The prompt needs a terminal: run the tool on a pseudo-terminal and type the key.
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_NE(pid, -1);
  if (pid == 0) {
    execl(TOLVANE_CRYPT_PATH, TOLVANE_CRYPT_PATH, "encrypt-text", "same", nullptr);
    _exit(127);
  }
  std::string seen;
  char buffer[256];
  while (seen.find("Key: ") == std::string::npos) {
    const ssize_t n = read(master, buffer, sizeof buffer);
    ASSERT_GT(n, 0);
    seen.append(buffer, static_cast<std::size_t>(n));
  }
  ASSERT_EQ(write(master, "secret key\n", 11), 11);
  ssize_t n;
  while ((n = read(master, buffer, sizeof buffer)) > 0)
    seen.append(buffer, static_cast<std::size_t>(n));
  close(master);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(seen.find("secret key"), std::string::npos) << "the key must not be echoed";
  const std::string hex = expected.substr(0, expected.size() - 1);
  EXPECT_NE(seen.find(hex), std::string::npos) << seen;
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

TEST_F(CryptTool, FailuresAndTheirExitCodes) {
  WriteFile(Path("short"), "abc");
  WriteFile(Path("target"), "keep me");
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int exit_code;
    std::string stderr_part;
  };
  const std::string k = key_file_.string();
  const Case cases[] = {
      {{}, "", 2, "subcommand"},
      {{"frobnicate"}, "", 2, "--help"},
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
      {{"base64-decode"}, "a*bc", 1, "tolvane-crypt: "},
      {{"get", "Nothing"}, "", 1, "no setting named"},
  };
  for (const Case& c : cases) {
    const Result r = Run(c.args, c.input);
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    EXPECT_EQ(r.exit_code, c.exit_code) << joined << "\n" << r.err;
    EXPECT_NE(r.err.find(c.stderr_part), std::string::npos) << joined << "\n" << r.err;
  }
  EXPECT_EQ(ReadFile(Path("target")), "keep me");
}

TEST_F(CryptTool, EverySubcommandHasHelp) {
  for (const char* cmd : {"encrypt-file", "decrypt-file", "encrypt-text", "decrypt-text", "hex",
                          "unhex", "base64-decode", "set", "get"}) {
    const Result r = Run({cmd, "--help"});
    EXPECT_EQ(r.exit_code, 0) << cmd;
    EXPECT_NE(r.out.find("Usage"), std::string::npos) << cmd;
  }
}

}  // namespace
}  // namespace tolvane
