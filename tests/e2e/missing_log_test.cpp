// Without its log the uninstaller can only offer to drop the product's entry, and must end.
#include "scenario.h"

#include <gtest/gtest.h>

namespace
{

const char kQuestionStart[] = "Unable to find the installation log file";

std::string QuestionFor(const std::string &logPath)
{
    return "Unable to find the installation log file '" + logPath +
           "'. Uninstallation can not continue.\nRemove uninstallation option?";
}

void ExpectOnlyTheQuestion(const DriverResult &result, const std::string &logPath, int pressed)
{
    ASSERT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(1u, result.exitCode);
    ASSERT_EQ(1u, result.windows.size());
    const ObservedWindow &box = result.windows[0];
    EXPECT_EQ("#32770", box.className);
    EXPECT_EQ("Uninstall", box.caption);
    bool found = false;
    for (const std::string &text : box.texts)
        found = found || text == QuestionFor(logPath);
    EXPECT_TRUE(found) << "question not shown for " << logPath;
    EXPECT_EQ(MB_YESNO | MB_ICONHAND | MB_TOPMOST, box.messageBoxStyle);
    EXPECT_EQ(pressed, box.pressed);
}

} // namespace

TEST(MissingLog, QuestionNamesTheLogBesideTheProgramAndBothAnswersEnd)
{
    ProductDir product("Sample Product");
    for (int answer : {IDNO, IDYES})
    {
        const DriverResult result = RunDriven(product.Uninstaller(), "", {{kQuestionStart, answer}});
        ExpectOnlyTheQuestion(result, product.Path() + "uninstall.log", answer);
    }
    EXPECT_TRUE(product.Exists("uninstall.exe")); // nothing is removed without a log
}

TEST(MissingLog, DirectoryFromTheCommandLineIsMadeFull)
{
    ProductDir product("Other Product");
    // A relative directory, quoted because of its space, before an option that ends the walk.
    const std::string parent = product.Path().substr(0, product.Path().size() - std::string("Other Product\\").size());
    DriverResult result = RunDriven(product.Uninstaller(), "\"Other Product\" -uOtherKey \"C:\\ignored\"",
                                    {{kQuestionStart, IDNO}}, parent);
    ExpectOnlyTheQuestion(result, product.Path() + "uninstall.log", IDNO);

    // A directory named with a trailing backslash gives the same single one.
    result = RunDriven(product.Uninstaller(), "\"" + product.Path() + "\"", {{kQuestionStart, IDNO}});
    ExpectOnlyTheQuestion(result, product.Path() + "uninstall.log", IDNO);
}
