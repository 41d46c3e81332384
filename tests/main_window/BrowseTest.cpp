#include <gtest/gtest.h>

#include <ostream>

#include "main_window/Browse.h"
#include "platform/RuntimeError.h"
#include "support/Fakes.h"
#include "support/WindowFakes.h"

namespace xmlpellor::test {
namespace {

using Answer = FakeCommonDialog::Answer;

struct PresetCase {
  const char* name;
  std::string boxText;
  std::string chosen;
};
void PrintTo(const PresetCase& c, std::ostream* os) { *os << c.name; }

// Whatever the box holds goes into the dialog untouched, and whatever the
// dialog returns replaces the whole box.
class BrowsePreset : public ::testing::TestWithParam<PresetCase> {};

TEST_P(BrowsePreset, DialogStartsFromTheBoxAndItsAnswerReplacesIt) {
  const PresetCase& c = GetParam();
  ReportHarness h;
  FakeCommonDialog cdl;
  FakeTextBox txtXml;
  txtXml.text = c.boxText;
  cdl.chosen = c.chosen;

  BrowseForFile(h.errors, cdl, txtXml, kXmlDialogTitle, kXmlFilter);

  ASSERT_EQ(cdl.shown.size(), 1u);
  EXPECT_EQ(cdl.shown[0].fileName, c.boxText);
  EXPECT_EQ(txtXml.text, c.chosen);
  EXPECT_EQ(txtXml.focused, 1);
  EXPECT_EQ(h.Reports(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Browse, BrowsePreset,
    ::testing::Values(PresetCase{"EmptyBox", "", "/home/ann/doc.xml"},
                      PresetCase{"BareName", "doc.xml", "/home/ann/doc.xml"},
                      PresetCase{"FullPath", "/home/ann/old.xml", "/home/ann/new.xml"},
                      PresetCase{"BlanksAroundKept", "  /home/ann/old.xml \t", "/srv/data"},
                      PresetCase{"ChosenPathTakenAsReturned", "a much longer old text.xml",
                                 "/tmp/no extension "}),
    [](const auto& info) { return std::string(info.param.name); });

// The one dialog serves both buttons: each use sets its own title, filter
// and flags, whatever the previous use left behind.
TEST(Browse, EachButtonSetsItsOwnTitleFilterAndFlagsEveryTime) {
  ReportHarness h;
  FakeCommonDialog cdl;
  FakeTextBox txtXml, txtXsl;
  cdl.flags = 0x200;
  cdl.chosen = "/x/a.xml";
  BrowseForFile(h.errors, cdl, txtXml, kXmlDialogTitle, kXmlFilter);
  cdl.chosen = "/x/a.xsl";
  BrowseForFile(h.errors, cdl, txtXsl, kXslDialogTitle, kXslFilter);
  cdl.flags = 0;
  cdl.chosen = "/x/b.xml";
  BrowseForFile(h.errors, cdl, txtXml, kXmlDialogTitle, kXmlFilter);

  ASSERT_EQ(cdl.shown.size(), 3u);
  EXPECT_EQ(cdl.shown[0].title, "XML File");
  EXPECT_EQ(cdl.shown[0].filter, "XML Files (*.xml)|*.xml|All Files (*.*)|*.*");
  EXPECT_EQ(cdl.shown[1].title, "XSL File");
  EXPECT_EQ(cdl.shown[1].filter, "XSL Files (*.xsl;*.xslt)|*.xsl;*.xslt|All Files (*.*)|*.*");
  // The XSL dialog starts from its own box, not from the XML choice.
  EXPECT_EQ(cdl.shown[1].fileName, "");
  EXPECT_EQ(cdl.shown[2].title, "XML File");
  EXPECT_EQ(cdl.shown[2].filter, "XML Files (*.xml)|*.xml|All Files (*.*)|*.*");
  EXPECT_EQ(cdl.shown[2].fileName, "/x/a.xml");
  for (const auto& shown : cdl.shown) EXPECT_EQ(shown.flags, 4);
  EXPECT_EQ(txtXml.text, "/x/b.xml");
  EXPECT_EQ(txtXsl.text, "/x/a.xsl");
}

struct FailureCase {
  const char* name;
  Answer answer;
  std::size_t reports;
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

// Cancel and failure both leave the box as it was; only the failure speaks.
class BrowseNoChoice : public ::testing::TestWithParam<FailureCase> {};

TEST_P(BrowseNoChoice, LeavesTheBoxAsItWas) {
  const FailureCase& c = GetParam();
  ReportHarness h;
  FakeCommonDialog cdl;
  FakeTextBox txtXsl;
  txtXsl.text = " kept.xsl ";
  cdl.answer = c.answer;
  cdl.chosen = "/never/used.xsl";

  BrowseForFile(h.errors, cdl, txtXsl, kXslDialogTitle, kXslFilter);

  EXPECT_EQ(cdl.shown.size(), 1u);
  EXPECT_EQ(txtXsl.text, " kept.xsl ");
  EXPECT_EQ(txtXsl.focused, 0);
  EXPECT_EQ(h.Reports(), c.reports);
}

INSTANTIATE_TEST_SUITE_P(Browse, BrowseNoChoice,
                         ::testing::Values(FailureCase{"Cancel", Answer::Cancel, 0},
                                           FailureCase{"OtherError", Answer::Fail, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Browse, OtherErrorReportsItsOwnNumber) {
  ReportHarness h;
  FakeCommonDialog cdl;
  FakeTextBox box;
  cdl.answer = Answer::Fail;
  BrowseForFile(h.errors, cdl, box, kXmlDialogTitle, kXmlFilter);
  ASSERT_EQ(h.Reports(), 1u);
  EXPECT_NE(h.box.shown[0].prompt.find("'51'"), std::string::npos) << h.box.shown[0].prompt;
}

}  // namespace
}  // namespace xmlpellor::test
