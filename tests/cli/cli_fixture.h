// The fixture of the tool's tests: runs the built `kalmira` in a folder of its
// own and keeps its exit code, stdout and stderr.
#pragma once

#include "carriers.h"
#include "extract/extract_engine.h"
#include "hide/hide_engine.h"
#include "platform/platform.h"
#include "run_fakes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/wait.h>

namespace kalmira::test {

namespace fs = std::filesystem;

inline std::string Quote(const std::string &s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct Result {
    int rc = -1;
    std::string out, err;
};

struct Cli : ::testing::Test {
    TempDir dir;
    TempDir tmp;                     // the tool's temporary folder: empty again after every run
    TempDir io;                      // the tool's stdout and stderr
    std::string limits;              // shell commands before the run, such as "ulimit -v 131072 &&"
    std::string input = "/dev/null"; // the tool's standard input

    // Runs the tool in `dir` without a terminal; `env` like "KALMIRA_PASSWORD=x".
    Result run(const std::string &args, const std::string &env = "") {
        const std::string cmd = "cd " + Quote(dir.path()) + " && " + limits +
                                " env -u KALMIRA_PASSWORD TMPDIR=" + Quote(tmp.path()) + " " + env + " " +
                                Quote(KALMIRA_CLI) + " " + args + " >" + Quote(io.file("out")) + " 2>" +
                                Quote(io.file("err")) + " <" + Quote(input);
        const int status = std::system(cmd.c_str());
        Result r;
        r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        auto text = [](const std::string &p) {
            auto b = ReadAll(p);
            std::remove(p.c_str());
            return std::string(b.begin(), b.end());
        };
        r.out = text(io.file("out"));
        r.err = text(io.file("err"));
        EXPECT_TRUE(fs::is_empty(tmp.path())) << "temporary files left by: " << args;
        return r;
    }
    std::string put(const std::string &name, const std::vector<std::uint8_t> &bytes) {
        WriteAll(dir.file(name), bytes);
        return dir.file(name);
    }
    std::vector<std::uint8_t> extractWithEngine(const std::string &carrier, const std::string &pw,
                                                std::string *storedName = nullptr) {
        FakePasswords passwords;
        passwords.extract.push_back(crypto::PadPassword(pw));
        FakeExtractView view;
        view.destination = dir.file("engine.out");
        extract::ExtractEngine engine;
        EXPECT_EQ(ExtractAsWindow(engine, view, passwords, carrier).outcome, extract::ExtractOutcome::Extracted);
        if (storedName) *storedName = view.offeredName;
        return ReadAll(view.destination);
    }
    // Hides as the windows do: AES with `pw`, or plain when it is empty.
    void hideWithEngine(const std::string &carrier, const std::string &nameField, const std::vector<std::uint8_t> &data,
                        const std::string &pw) {
        FakePasswords passwords;
        passwords.hide.push_back(Padded(pw));
        FakeHideProgress view;
        hide::FileHideInput in;
        in.carrierPath = carrier;
        in.sourcePath = "x";
        in.nameField = nameField;
        in.encrypt = !pw.empty();
        in.cipher = payload::Mode::Aes;
        hide::HideEngine engine(KeepBackups());
        ASSERT_EQ(HideAsWindow(engine, view, passwords, in, data).outcome, hide::HideOutcome::Written);
    }
};

} // namespace kalmira::test
