#include "config/dir_variables.h"

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "tests/unit/fakes.h"

namespace quillet {
namespace {

class ExpandTest : public ::testing::Test {
 protected:
  ExpandTest() { FillDirVariables(&variables_); }
  std::string Expand(const std::string& text) {
    ExpandResult result = ExpandVariables(variables_, text);
    EXPECT_FALSE(result.error) << result.what;
    return result.text;
  }
  void Set(int i, const std::string& value) { variables_.Entry(i).value = value; }
  DirVariables variables_;
};

TEST_F(ExpandTest, ReplacesKnownNamesWithoutRegardToCase) {
  EXPECT_EQ(Expand("$VisuDir$\\Task.bat"), "C:\\Pantra\\Task.bat");
  EXPECT_EQ(Expand("$visudir$\\a"), "C:\\Pantra\\a");
  EXPECT_EQ(Expand("$VISUDIR$$TempVisu$"), "C:\\PantraC:\\Temp");
  EXPECT_EQ(Expand("x $AllUsersProfile$"), "x C:\\Documents and Settings\\All Users");
}

TEST_F(ExpandTest, EmptyNameRemovesThePair) {
  EXPECT_EQ(Expand("a$$b"), "ab");
  EXPECT_EQ(Expand("$$"), "");
}

TEST_F(ExpandTest, KeepsLoneAndUnmatchedDollarSigns) {
  EXPECT_EQ(Expand("no placeholder"), "no placeholder");
  EXPECT_EQ(Expand("\\\\pc\\C$\\Service"), "\\\\pc\\C$\\Service");
  EXPECT_EQ(Expand("$Unknown$"), "$Unknown$");
  // An administrative share in both copies of a target path forms an
  // unmatched pair; the scan goes on past it to the known names.
  EXPECT_EQ(Expand("$MorvaToolsDir$\\Zip.exe -j \\\\pc\\C$\\S\\1.Zip \\\\pc\\C$\\S\\Log\\*.*"),
            "C:\\MorvaTools\\Zip.exe -j \\\\pc\\C$\\S\\1.Zip \\\\pc\\C$\\S\\Log\\*.*");
  EXPECT_EQ(Expand("$x$VisuDir$"), "$xC:\\Pantra");
}

TEST_F(ExpandTest, ExpandsPlaceholdersInsideValues) {
  Set(4, "$TempVisu$\\Visu");
  EXPECT_EQ(Expand("$VisuDir$\\Task.log"), "C:\\Temp\\Visu\\Task.log");
}

TEST_F(ExpandTest, StopsCyclesWithAnErrorNamingTheVariable) {
  for (const std::string value : {"$VisuDir$", "$VisuDir$\\x", "x$TempVisu$"}) {
    Set(4, value);
    Set(12, "$VisuDir$");
    ExpandResult result = ExpandVariables(variables_, "$VisuDir$\\Task.bat");
    ASSERT_TRUE(result.error) << value;
    EXPECT_NE(result.what.find("$VisuDir$"), std::string::npos) << result.what;
    EXPECT_EQ(result.text, "$VisuDir$\\Task.bat");
  }
}

TEST_F(ExpandTest, DollarBeyondPosition32767IsAnError) {
  const std::string text = std::string(40000, 'a') + "$VisuDir$";
  EXPECT_EQ(ExpandVariables(variables_, text).error, make_error_code(Errc::kTextTooLong));
  EXPECT_EQ(Expand(std::string(40000, 'a')), std::string(40000, 'a'));
}

TEST(ResolveDirVariableTest, EnvironmentOverridesNonEmptyValuesOnly) {
  DirVariables variables;
  FillDirVariables(&variables);
  testing::FakeEnvironment environment;
  environment.variables = {{"windir", "C:\\Windows"},
                           {"VISUDIR", ""},
                           {"TempVisu", " $VisuDir$ "},
                           {"MorvaToolsDir", std::string(5000, 'm')}};
  for (int i = 1; i <= 12; ++i) EXPECT_FALSE(ResolveDirVariable(i, environment, &variables));
  EXPECT_EQ(variables.Entry(1).value, "C:\\Windows");
  EXPECT_EQ(variables.Entry(2).value, std::string(5000, 'm'));
  EXPECT_EQ(variables.Entry(4).value, "C:\\Pantra");
  EXPECT_EQ(variables.Entry(12).value, " $VisuDir$ ");
  EXPECT_EQ(ResolveDirVariable(0, environment, &variables), make_error_code(Errc::kBounds));
  EXPECT_EQ(ResolveDirVariable(21, environment, &variables), make_error_code(Errc::kBounds));
  EXPECT_FALSE(ResolveDirVariable(20, environment, &variables));
}

}  // namespace
}  // namespace quillet
