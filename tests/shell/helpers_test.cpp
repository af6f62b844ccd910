#include "shell/helpers.h"
#include "shell/program_options.h"

#include <gtest/gtest.h>

using namespace kalmira;

TEST(PathHelpers, SplitWindowsAndPosixPaths) {
    EXPECT_EQ(FileNameOf("C:\\Daten\\bild.bmp"), "bild.bmp");
    EXPECT_EQ(FolderOf("C:\\Daten\\bild.bmp"), "C:\\Daten\\");
    EXPECT_EQ(ExtensionOf("C:\\Daten\\bild.bmp"), ".bmp");
    EXPECT_EQ(BaseNameOf("C:\\Daten\\bild.bmp"), "bild");
    EXPECT_EQ(FileNameOf("bild.bmp"), "bild.bmp");
    EXPECT_EQ(FolderOf("bild.bmp"), "");
    EXPECT_EQ(FileNameOf(""), "");
    EXPECT_EQ(BaseNameOf("C:\\Daten\\README"), "");
    EXPECT_EQ(ExtensionOf("C:\\Daten\\README"), ".C:\\Daten\\README");
    EXPECT_EQ(BaseNameOf("C:\\a.b\\README"), ""); // dot before the last separator
    EXPECT_EQ(FolderOf("/home/u/x.wav"), "/home/u/");
    EXPECT_EQ(BaseNameOf("/home/u/x.tar.gz"), "x.tar");
}

TEST(FormatThousands, UsesGermanSeparator) {
    EXPECT_EQ(FormatThousands(9999999), "9.999.999");
    EXPECT_EQ(FormatThousands(562), "562");
    EXPECT_EQ(FormatThousands(1000), "1.000");
    EXPECT_EQ(FormatThousands(0), "");
}

// --help and --version alone answer on the terminal; anything else is a carrier.
TEST(StartAction, HelpAndVersionOnlyWhenAlone) {
    EXPECT_EQ(StartActionFor({}), StartAction::Windows);
    EXPECT_EQ(StartActionFor({"--help"}), StartAction::PrintHelp);
    EXPECT_EQ(StartActionFor({"-h"}), StartAction::PrintHelp);
    EXPECT_EQ(StartActionFor({"--version"}), StartAction::PrintVersion);
    EXPECT_EQ(StartActionFor({"bild.bmp"}), StartAction::Windows);
    EXPECT_EQ(StartActionFor({"mein", "--help"}), StartAction::Windows); // "mein --help" is one path
    for (Program p : {Program::A, Program::B}) {
        const std::string version = ProgramVersionText(p);
        EXPECT_EQ(version.rfind(std::string(ProgramName(p)) + " ", 0), 0u) << version;
        EXPECT_NE(version.find("GPL-3.0-or-later"), std::string::npos);
        EXPECT_NE(ProgramHelpText(p).find("--version"), std::string::npos);
    }
    EXPECT_NE(ProgramHelpText(Program::A).find("Textbotschaft"), std::string::npos);
}
