// The program's embedded files written out: the exact bytes, an existing file kept unless it may
// be overwritten, and a resource that is not there logged.
#include "framework/env/resources.h"
#include "platform/sim/embedded_resources.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using ResourcesTest = MachineTest;

std::vector<std::uint8_t> Embedded(std::u16string_view name) {
  for (const sim::EmbeddedResource& r : sim::EmbeddedResources())
    if (r.name == name) return {r.data, r.data + r.size};
  return {};
}

TEST_F(ResourcesTest, ExtractionWritesTheExactBytesAndKeepsAnExistingFileWithoutOverwrite) {
  Start();
  const std::u16string file = Env().UserDirBS_CurrentUser_Temp + u"sub\\sb_7.reg";
  ASSERT_TRUE(ExtractCustomResource(u"sb_7", file, true));  // the folder is created too
  ASSERT_FALSE(Embedded(u"SB_7").empty());
  EXPECT_EQ(m.fs().ReadFile(file), Embedded(u"SB_7"));

  m.fs().AddFile(file, std::string_view("mine"));
  EXPECT_TRUE(ExtractCustomResource(u"sb_7", file, false));
  EXPECT_EQ(m.fs().ReadFile(file), (std::vector<std::uint8_t>{'m', 'i', 'n', 'e'}));

  ASSERT_TRUE(ExtractCustomResource(u"sb_7", file, true));
  EXPECT_EQ(m.fs().ReadFile(file), Embedded(u"SB_7"));
}

TEST_F(ResourcesTest, AResourceThatIsNotThereIsLoggedAndNoFileIsWritten) {
  Start();
  const std::u16string file = Env().UserDirBS_CurrentUser_Temp + u"sb_2000.reg";
  EXPECT_FALSE(ExtractCustomResource(u"sb_2000", file, true));
  EXPECT_TRUE(LogHas(u"Aborting; Unknown Error!"));
  EXPECT_FALSE(m.fs().Exists(file));
}

}  // namespace
}  // namespace kes
