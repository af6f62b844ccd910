// The habits scripts and shells expect of a command-line tool: a password on
// stdin, no binary data on a terminal, a word when a stored name differs,
// the licence in --version.
#include "cli_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

using namespace kalmira;
using namespace kalmira::test;

namespace {

// Runs the tool in `cwd` with stdout on a pseudo-terminal (stdin empty,
// stderr into `errPath`); gives the exit code and what reached the terminal.
Result RunOnTerminal(const std::string &cwd, const std::vector<std::string> &args, const std::string &password,
                     const std::string &errPath) {
    Result r;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        ADD_FAILURE() << "no pseudo-terminal: " << std::strerror(errno);
        return r;
    }
    const std::string slave = ::ptsname(master);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
        const int in = ::open("/dev/null", O_RDONLY);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || in < 0 || err < 0 || ::chdir(cwd.c_str()) != 0) ::_exit(120);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::close(master);
        ::setenv("KALMIRA_PASSWORD", password.c_str(), 1);
        std::vector<char *> argv{const_cast<char *>(KALMIRA_CLI)};
        for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(KALMIRA_CLI, argv.data());
        ::_exit(121);
    }
    // Drain the terminal while the tool runs; the end shows as EIO once the
    // last descriptor of its side is closed.
    char buf[4096];
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 20000) <= 0) break;
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n > 0)
            r.out.append(buf, static_cast<std::size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(master);
    r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const auto err = ReadAll(errPath);
    r.err.assign(err.begin(), err.end());
    return r;
}

TEST_F(Cli, PasswordFromStandardInput) {
    const auto secret = RandomBytes(3000, 8);
    put("s.bin", secret);
    put("c.bmp", MakeBmp(150, 100));
    // The first line only, line end as in a file; the environment does not win.
    put("in.txt", {'S', 'e', 's', 'a', 'm', '\r', '\n', 'r', 'e', 's', 't'});
    input = dir.file("in.txt");
    ASSERT_EQ(run("hide c.bmp s.bin --password-file -", "KALMIRA_PASSWORD=anders").rc, 0);
    input = "/dev/null";
    Result r = run("extract c.bmp -o out.bin", "KALMIRA_PASSWORD=Sesam");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(ReadAll(dir.file("out.bin")), secret);
    EXPECT_FALSE(fs::exists(dir.file("-")));

    // The stealth format reads it the same way.
    put("t.bmp", MakeBmp(400, 300));
    put("pw.txt", {'S', 'e', 's', 'a', 'm', '\n'});
    input = dir.file("pw.txt");
    ASSERT_EQ(run("hide t.bmp s.bin --stealth --password-file -").rc, 0);
    r = run("extract t.bmp -o tout.bin --password-file -");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(ReadAll(dir.file("tout.bin")), secret);

    // Empty input is no password to hide with; the carrier stays as it was.
    input = "/dev/null";
    put("u.bmp", MakeBmp(150, 100));
    r = run("hide u.bmp s.bin --password-file -");
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("Das Passwort ist leer."), std::string::npos) << r.err;
    EXPECT_EQ(ReadAll(dir.file("u.bmp")), MakeBmp(150, 100));
}

TEST_F(Cli, BinaryDataIsNotWrittenToATerminal) {
    const auto secret = RandomBytes(5000, 9);
    put("s.bin", secret);
    put("c.bmp", MakeBmp(150, 100));
    put("m.txt", {'H', 'a', 'l', 'l', 'o'});
    put("m.bmp", MakeBmp(150, 100));
    ASSERT_EQ(run("hide c.bmp s.bin", "KALMIRA_PASSWORD=Sesam").rc, 0);
    ASSERT_EQ(run("hide m.bmp m.txt --text", "KALMIRA_PASSWORD=Sesam").rc, 0);

    Result r = RunOnTerminal(dir.path(), {"extract", "c.bmp", "-o", "-"}, "Sesam", io.file("err"));
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(r.out.empty()) << r.out.size() << " bytes reached the terminal";
    EXPECT_NE(r.err.find("nicht auf ein Terminal"), std::string::npos) << r.err;

    // --force overrides, as with gzip; a message is text and passes anyway.
    r = RunOnTerminal(dir.path(), {"extract", "c.bmp", "-o", "-", "--force"}, "Sesam", io.file("err"));
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_GE(r.out.size(), secret.size());
    r = RunOnTerminal(dir.path(), {"extract", "m.bmp", "--text", "-o", "-"}, "Sesam", io.file("err"));
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("Hallo"), std::string::npos);

    // A message's escape codes are shown, not obeyed (here: a window title).
    put("esc.txt", {'A', 0x1B, ']', '0', ';', 'x', 0x07, 'B', '\r', '\n', 'C'});
    put("e.bmp", MakeBmp(150, 100));
    ASSERT_EQ(run("hide e.bmp esc.txt --text", "KALMIRA_PASSWORD=Sesam").rc, 0);
    r = RunOnTerminal(dir.path(), {"extract", "e.bmp", "--text", "-o", "-"}, "Sesam", io.file("err"));
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out.find('\x1B'), std::string::npos);
    EXPECT_NE(r.out.find("A\\x1B]0;x\\x07B"), std::string::npos) << r.out;
    // Through a pipe the message stays as it was.
    EXPECT_EQ(run("extract e.bmp --text -o -", "KALMIRA_PASSWORD=Sesam").out, "A\x1B]0;x\x07"
                                                                              "B\r\nC");
    std::remove(io.file("err").c_str());
}

// The classic format keeps 25 Windows-1252 characters; hide says what comes
// back whenever that is not the file's own name.
TEST_F(Cli, HideNamesTheStoredNameWhenItDiffers) {
    struct Case {
        std::string file, stored;
    };
    const Case cases[] = {
        {"日本語.txt", "???.txt"},
        {"bad\xff.txt", "bad?.txt"},
        {"ein_sehr_langer_dateiname_fuer_das_archiv_.tar.gz", "ein_sehr_langer_date~1.gz"},
        {"Grüße.txt", ""}, // in Windows-1252: unchanged, nothing said
    };
    int n = 0;
    for (const Case &c : cases) {
        const std::string out = "aus" + std::to_string(++n);
        fs::create_directory(dir.file(out));
        put(c.file, {'x', 'y'});
        put("c.bmp", MakeBmp(150, 100));
        const Result r = run("hide c.bmp '" + c.file + "' --cipher none");
        ASSERT_EQ(r.rc, 0) << c.file << ": " << r.err;
        const bool said = r.err.find("als \"" + c.stored + "\" gespeichert") != std::string::npos;
        EXPECT_EQ(said, !c.stored.empty()) << c.file << ": " << r.err;
        const Result back = run("extract c.bmp -o " + out);
        ASSERT_EQ(back.rc, 0) << back.err;
        EXPECT_TRUE(fs::exists(dir.file(out + "/" + (c.stored.empty() ? c.file : c.stored)))) << c.file;
    }
    // The stealth format keeps names as they are.
    put("t.bmp", MakeBmp(400, 300));
    const Result r = run("hide t.bmp '日本語.txt' --stealth", "KALMIRA_PASSWORD=Sesam");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.err.find("gespeichert:"), std::string::npos) << r.err;
}

TEST_F(Cli, VersionNamesTheLicence) {
    const Result r = run("--version");
    EXPECT_EQ(r.rc, 0);
    EXPECT_NE(r.out.find("Lizenz: GPL-3.0-or-later"), std::string::npos) << r.out;
}

} // namespace
