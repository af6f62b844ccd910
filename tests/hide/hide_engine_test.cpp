#include "hide/hide_engine.h"

#include "carrier/payload_fit.h"
#include "carriers.h"
#include "hide/hide_texts.h"
#include "platform/platform.h"
#include "run_fakes.h"
#include "shell/helpers.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace kalmira;
using namespace kalmira::test;
using hide::FileHideInput;
using hide::HideOutcome;

namespace {

// The backup question as the windows ask it.
struct AskingQuestions : hide::RunQuestions {
    explicit AskingQuestions(Messages &m) : messages(m) {}
    bool replaceBackup(const std::string &copyName) override {
        return messages.show(Icon::Question, hide::kReplaceBackupTitle, hide::ReplaceBackupQuestion(copyName),
                             Buttons::YesNoDefaultNo) == Answer::Yes;
    }
    Messages &messages;
};

struct HideFixture : ::testing::Test {
    TempDir dir;
    FakeMessages messages;
    FakePasswords passwords;
    FakeHideProgress view;
    AskingQuestions questions{messages};
    hide::HideEngine engine{questions};
    std::vector<std::uint8_t> data;
    FileHideInput in;

    void prepare(std::size_t dataLen, std::vector<std::uint8_t> carrier) {
        data = RandomBytes(dataLen, 77);
        in.carrierPath = dir.file("carrier.bmp");
        in.sourcePath = dir.file("geheim.pdf");
        in.nameField = *payload::NameField("geheim.pdf");
        WriteAll(in.carrierPath, carrier);
    }
    std::vector<std::uint8_t> carrier() const { return ReadAll(in.carrierPath); }
    HideOutcome hideFile(FakeHideProgress &v, const FileHideInput &input) {
        return Told(messages, HideAsWindow(engine, v, passwords, input, data)).outcome;
    }
};

// Every byte changed by at most one, none outside the payload span.
void expectOnlyPayloadSpanTouched(const std::vector<std::uint8_t> &before, const std::vector<std::uint8_t> &after,
                                  std::int64_t n) {
    ASSERT_EQ(before.size(), after.size());
    const auto end = static_cast<std::size_t>(payload::CarrierBytesFor(n));
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (i < 91 || i >= end) {
            ASSERT_EQ(before[i], after[i]) << "offset " << i;
        } else {
            ASSERT_LE(std::abs(int(before[i]) - int(after[i])), 1) << "offset " << i;
        }
    }
}

} // namespace

TEST_F(HideFixture, ChecksComeInOrderAndLeaveTheCarrierAlone) {
    prepare(1000, MakeBmp(60, 60));
    const auto original = carrier();

    FileHideInput empty = in;
    empty.carrierPath.clear();
    EXPECT_EQ(hideFile(view, empty), HideOutcome::NoCarrierChosen);
    EXPECT_EQ(messages.last(), "Bitte eine BMP-Bild oder eine WAV-Datei als Containerdatei auswählen. (Befehl OPEN)");
    EXPECT_EQ(messages.shown.back().icon, Icon::Information);
    EXPECT_EQ(view.pauses, (std::vector<double>{1, 4})); // this check keeps the pauses
    EXPECT_FALSE(view.sawCaption("100 %"));

    view.pauses.clear();
    FileHideInput missing = in;
    missing.carrierPath = dir.file("nix.bmp");
    EXPECT_EQ(hideFile(view, missing), HideOutcome::CarrierMissing);
    EXPECT_EQ(messages.last(), "Die ContainerDatei wurde nicht gefunden!");

    FileHideInput noSource = in;
    noSource.sourcePath.clear();
    EXPECT_EQ(hideFile(view, noSource), HideOutcome::NoSourceChosen);
    EXPECT_EQ(messages.last(), "Es wurde noch keine zu versteckende Datei ausgewählt!");
    EXPECT_TRUE(view.pauses.empty());
    EXPECT_TRUE(view.sawCaption(">>>>>>>>>> Die Datei wurde versteckt... 100 %"));
    EXPECT_EQ(view.captions.back(), "KalmiraB - Verstecken");
    EXPECT_EQ(carrier(), original);
    EXPECT_EQ(passwords.asked, 0);
}

TEST_F(HideFixture, CapacityBoundaryIsExact) {
    const std::int64_t need = payload::MinCarrierForRun(1000); // 8626 + 0
    std::vector<std::uint8_t> c = RandomBytes(static_cast<std::size_t>(need - 1), 5);
    c[0] = 'B';
    c[1] = 'M';
    c[14] = 40; // a 40-byte info header
    c[15] = c[16] = c[17] = 0;
    prepare(1000, c);
    EXPECT_EQ(hideFile(view, in), HideOutcome::CarrierTooSmall);
    EXPECT_EQ(messages.last(),
              "Die ausgewählte Containerdatei \"carrier.bmp\" ist zu klein (8.625 Byte). Um die Datei "
              "\"geheim.pdf\" zu verstecken, muss die Containerdatei mindestens 8.626 Byte gross sein."
              "\r\n\r\nHinweis:\r\nUm schon bei der Auswahl der Containerdatei deren Grösse zu erkennen, "
              "clickt man im Datei-Auswahlfenster auf den Button \"Details\" (Unter XP ->Ansicht->Details, "
              "rechts oben im Datei-Auswahlfenster). Die Dateigrösse wird dann im "
              "Datei-Auswahlfenster in KByte angezeigt.");
    EXPECT_EQ(messages.shown.back().title, "Kalmira-Nachricht");

    c.push_back(0x42);
    WriteAll(in.carrierPath, c);
    const auto before = carrier();
    EXPECT_EQ(hideFile(view, in), HideOutcome::Written);
    const auto after = carrier();
    expectOnlyPayloadSpanTouched(before, after, 1000);
    EXPECT_GE(static_cast<std::int64_t>(after.size()) - payload::CarrierBytesFor(1000), 23);
}

TEST_F(HideFixture, WritesLeadByteHeaderAndDataBlockByBlock) {
    for (std::size_t n : {4096u, 4097u}) {
        prepare(n, MakeBmp(200, 100));
        const auto before = carrier();
        view.captions.clear();
        view.pauses.clear();
        ASSERT_EQ(hideFile(view, in), HideOutcome::Written) << n;
        const auto after = carrier();
        expectOnlyPayloadSpanTouched(before, after, static_cast<std::int64_t>(n));
        EXPECT_NE(payload::ReadByte(after.data() + 91), 0);
        EXPECT_EQ(HeaderOf(after).dataLength, static_cast<std::int64_t>(n));
        std::vector<std::uint8_t> back(n);
        payload::ReadBytes(after.data() + 539, n, back.data());
        EXPECT_EQ(back, data);
        EXPECT_EQ(view.pauses, (std::vector<double>{1, 4}));
        EXPECT_TRUE(view.sawCaption(hide::kFinishedCaption));
    }
}

TEST_F(HideFixture, CipherModesStoreTheirTagAndLength) {
    prepare(5000, MakeBmp(200, 100));
    in.encrypt = true;
    for (payload::Mode mode : {payload::Mode::Rc4, payload::Mode::Aes}) {
        in.cipher = mode;
        passwords.hide = {Padded("geheim")};
        ASSERT_EQ(hideFile(view, in), HideOutcome::Written);
        const auto h = HeaderOf(carrier());
        EXPECT_EQ(h.tag, mode == payload::Mode::Rc4 ? "yesp" : "yesa");
        EXPECT_EQ(h.dataLength, mode == payload::Mode::Rc4 ? 5000 : 5008); // AES pads to blocks
    }
    EXPECT_TRUE(view.sawCaption(">>>>>>>>>>>>>  Datei wird RC4 verschlüsselt..."));
}

// A cancelled run restores the read-only flag it lifted; a finished one keeps it.
TEST_F(HideFixture, ReadOnlyFlagSurvivesCancelledAndFinishedRuns) {
    prepare(1000, MakeBmp(100, 100));
    const auto original = carrier();
    platform::SetFileAttributes(in.carrierPath, platform::AttrReadOnly);
    in.encrypt = true;
    in.backup = true;
    in.backupPath = dir.file("carrier-Kopie.bmp");
    EXPECT_EQ(hideFile(view, in), HideOutcome::Cancelled);
    EXPECT_EQ(carrier(), original);
    EXPECT_EQ(ReadAll(in.backupPath), original);
    EXPECT_EQ(platform::GetFileAttributes(in.carrierPath), platform::AttrNormal);

    platform::SetFileAttributes(in.carrierPath, platform::AttrReadOnly);
    in.encrypt = in.backup = false;
    EXPECT_EQ(hideFile(view, in), HideOutcome::Written);
    EXPECT_EQ(HeaderOf(carrier()).tag, "yesn");
    EXPECT_EQ(platform::GetFileAttributes(in.carrierPath), platform::AttrReadOnly);
}

TEST_F(HideFixture, ExistingBackupIsKeptOnNoAndReplacedOnYes) {
    prepare(1000, MakeBmp(100, 100));
    in.backup = true;
    in.backupPath = dir.file("carrier-Kopie.bmp");
    WriteAll(in.backupPath, std::string("alte Kopie"));
    messages.answers = {Answer::No};
    EXPECT_EQ(hideFile(view, in), HideOutcome::Written);
    EXPECT_EQ(ReadAll(in.backupPath), std::vector<std::uint8_t>({'a', 'l', 't', 'e', ' ', 'K', 'o', 'p', 'i', 'e'}));
    ASSERT_FALSE(messages.shown.empty());
    const auto &q = messages.shown.front();
    EXPECT_EQ(q.title, "Kalmira - Anfrage");
    EXPECT_EQ(q.buttons, Buttons::YesNoDefaultNo);
    EXPECT_EQ(q.text.rfind("Es existiert bereits eine Sicherheitskopie (carrier-Kopie.bmp) der "
                           "ContainerDatei.\r\nSoll eine neue Kopie erzeugt werden?\r\n\r\n\"Ja\"   -> ",
                           0),
              0u);

    const auto written = carrier();
    messages.answers = {Answer::Yes};
    EXPECT_EQ(hideFile(view, in), HideOutcome::Written);
    EXPECT_EQ(ReadAll(in.backupPath), written);
}

TEST_F(HideFixture, DamagingStructuresAreRefusedBeforeAnyWrite) {
    // BMP with a 124-byte info header: it reaches past offset 90.
    auto bmp = MakeBmp(100, 100);
    bmp[14] = 124;
    prepare(1000, bmp);
    EXPECT_EQ(hideFile(view, in), HideOutcome::CarrierStructure);
    EXPECT_NE(messages.last().find("Dateikopf"), std::string::npos);
    EXPECT_EQ(carrier(), bmp);

    // WAV with a LIST chunk before "data": the data chunk starts too late.
    auto wav = MakeWav(100000);
    std::vector<std::uint8_t> list = {'L', 'I', 'S', 'T', 60, 0, 0, 0};
    list.resize(68, 'x');
    wav.insert(wav.begin() + 36, list.begin(), list.end());
    prepare(1000, wav);
    EXPECT_EQ(hideFile(view, in), HideOutcome::CarrierStructure);
    EXPECT_EQ(carrier(), wav);

    // Canonical WAV whose samples end before the payload would.
    auto shortData = MakeWav(8000);
    shortData.resize(shortData.size() + 20000, 0); // trailing junk after the data chunk
    prepare(1000, shortData);
    EXPECT_EQ(payload::CheckStructure(in.carrierPath, 1000), payload::CarrierStructure::WavDataTooShort);
    EXPECT_EQ(hideFile(view, in), HideOutcome::CarrierStructure);

    prepare(1000, MakeWav(20000));
    EXPECT_EQ(hideFile(view, in), HideOutcome::Written);
}

TEST_F(HideFixture, OneRunAtATime) {
    prepare(1000, MakeBmp(100, 100));
    struct ReentrantView : FakeHideProgress {
        hide::HideEngine *engine = nullptr;
        FileHideInput *in = nullptr;
        std::vector<std::uint8_t> *data = nullptr;
        std::optional<HideOutcome> inner;
        void processEvents() override {
            if (!inner) inner = engine->prepareFile(*this, *in, *data).result().outcome;
        }
    } v;
    v.engine = &engine;
    v.in = &in;
    v.data = &data;
    EXPECT_EQ(hideFile(v, in), HideOutcome::Written);
    EXPECT_EQ(v.inner, HideOutcome::Busy);
}
