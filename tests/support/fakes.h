// Test doubles for the engine-side interfaces, and temporary folders.
#pragma once

#include "shell/ui.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace kalmira::test {

struct ShownMessage {
    Icon icon;
    std::string title;
    std::string text;
    Buttons buttons;
};

// Records every message; answers from a queue, then with OK.
class FakeMessages : public Messages {
public:
    Answer show(Icon icon, const std::string &title, const std::string &text, Buttons buttons) override;

    std::vector<ShownMessage> shown;
    std::deque<Answer> answers;

    bool contains(const std::string &textPart) const;
    std::string last() const { return shown.empty() ? "" : shown.back().text; }
};

class CountingPump : public EventPump {
public:
    void processEvents() override { ++calls; }
    int calls = 0;
};

// A fresh folder below the temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::vector<std::uint8_t> ReadAll(const std::string &path);
void WriteAll(const std::string &path, const std::vector<std::uint8_t> &bytes);
void WriteAll(const std::string &path, const std::string &bytes);
std::size_t FilesIn(const std::string &folder);
std::vector<std::uint8_t> RandomBytes(std::size_t n, std::uint32_t seed = 1);

// Minimal carriers: a 24-bit BMP of the given pixel size, a 16-bit PCM WAV.
std::vector<std::uint8_t> MakeBmp(int width, int height, std::uint32_t seed = 7);
std::vector<std::uint8_t> MakeWav(std::size_t dataBytes, int channels = 2, int rate = 44100, int bits = 16,
                                  std::uint32_t seed = 9);

} // namespace kalmira::test
