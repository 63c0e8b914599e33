// The text table, its formatting rules and the display operations.
#include <gtest/gtest.h>

#include <fstream>

#include "support/world_fixture.h"
#include "ui/display.h"
#include "ui/texts.h"

TEST(TextTable, HoldsEveryTextOfTheSourceInCodePage932) {
    std::ifstream source(TEXT_SOURCE_FILE);
    ASSERT_TRUE(source.good());
    std::string line;
    int count = 0;
    while (std::getline(source, line)) {
        if (line.empty() || line[0] == '#') continue;
        const auto tab = line.find('\t');
        std::string text = line.substr(tab + 1);
        for (std::string::size_type at; (at = text.find("\\r")) != std::string::npos;) text.replace(at, 2, "\r");
        for (std::string::size_type at; (at = text.find("\\n")) != std::string::npos;) text.replace(at, 2, "\n");
        EXPECT_EQ(Text(static_cast<unsigned>(std::stoi(line.substr(0, tab)))), Cp932(text)) << line;
        ++count;
    }
    EXPECT_EQ(count, 33);
    for (unsigned missing : {0u, 8u, 9u, 11u, 37u}) EXPECT_EQ(Text(missing), "") << missing;
}

class DisplayTest : public WorldTest {};

TEST_F(DisplayTest, FormattingRules) {
    ShowStatusNumber(World().dialog, 3, 1);
    EXPECT_EQ(Utf8(Status()), "1台のルミナゲートが見つかりました。");
    ShowStatusNumber(World().dialog, 14, -2);
    EXPECT_EQ(Utf8(Status()), "内部エラーが発生しました。\r\nエラーコード 0xfffffffe");
    ShowStatusWithText(World().dialog, 12, 17);
    EXPECT_EQ(Status(), Cp932("ルミナゲートとの通信が行えないため、ファームウェアの更新が行えませんでした。\r\n\r\n") + Text(17));
}

TEST_F(DisplayTest, ControlsAndTheSearchButtonLabel) {
    SetControlsEnabled(World().dialog, false);
    EXPECT_EQ(Utf8(World().display.controlText[SearchButton]), "キャンセル");
    for (int id : {StationLabel, StationListBox, PasswordLabel, PasswordEdit, ExecuteButton, ExitButton})
        EXPECT_FALSE(World().display.enabled[id]) << id;
    for (int id : {StatusPane, ProgressBar, SearchButton}) EXPECT_EQ(World().display.enabled.count(id), 0u) << id;
    SetControlsEnabled(World().dialog, true);
    const auto once = World().display.enabled;
    SetControlsEnabled(World().dialog, true);
    EXPECT_EQ(World().display.enabled, once);
    EXPECT_EQ(Utf8(World().display.controlText[SearchButton]), "再検索(&R)");
    for (const auto& [id, enabled] : once) EXPECT_TRUE(enabled) << id;
}

TEST(TextCut, NeverSplitsADoubleByteCharacter) {
    const std::string text = Cp932("aルミナ");  // 1 + 3 x 2 bytes
    const struct {
        int size;
        std::string expected;
    } cases[] = {{1, ""}, {2, "a"}, {3, "a"}, {4, Cp932("aル")}, {5, Cp932("aル")}, {8, text}, {100, text}};
    for (const auto& c : cases) {
        char buffer[100];
        EXPECT_EQ(CopyTextCut(buffer, c.size, text.c_str()), static_cast<int>(c.expected.size())) << c.size;
        EXPECT_EQ(std::string(buffer), c.expected) << c.size;
    }
}

TEST(TextCut, FormattedTextLongerThanItsBufferIsCutAtAWholeCharacter) {
    const std::string kana = Cp932("ゲ");
    std::string long_text;
    for (int i = 0; i < 300; ++i) long_text += kana;  // 600 bytes
    char buffer[STATUS_BUFFER];
    const int n = FormatText(buffer, STATUS_BUFFER, "x%s", long_text.c_str());
    EXPECT_EQ(n, 511);  // "x" and 255 whole characters
    EXPECT_EQ(std::string(buffer), "x" + long_text.substr(0, 510));
}
