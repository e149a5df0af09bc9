#include <gtest/gtest.h>

#include "desktop/SoundStream.h"

TEST(SoundStream, PropertyListsAreReadAsLibpulseReadsThem) {
  using Keys = std::vector<std::string>;
  const std::pair<std::string, std::optional<Keys>> cases[] = {
      {"", Keys{}},
      {"  ", Keys{}},
      {"media.role=video", Keys{"media.role"}},
      {"a=1 b='dos tres' c=\"cuatro \\\" cinco\" d=hex:00ff", Keys{"a", "b", "c", "d"}},
      {"a=x\\ y b=2", Keys{"a", "b"}},
      {"media.role='video", std::nullopt},  // unterminated quote
      {"=video", std::nullopt},
      {"media.role", std::nullopt},
      {"a=hex:abc", std::nullopt},  // odd number of digits
      {"a='x'b=2", std::nullopt},
  };
  for (const auto& [text, keys] : cases) EXPECT_EQ(desktop::proplistKeys(text), keys) << text;
}

TEST(SoundStream, OurPropertiesJoinTheUsersAndNeverReplaceThem) {
  const std::vector<desktop::Property> ours{{"media.role", "music"}, {"application.id", "x.y"}};
  const struct {
    std::string user;
    std::vector<std::string> taken;
    std::string merged;
  } cases[] = {
      {"", {}, "media.role='music' application.id='x.y'"},
      {"media.role=video", {}, "media.role=video application.id='x.y'"},
      {"a='b c' ", {}, "a='b c' media.role='music' application.id='x.y'"},
      {"", {"application.id"}, "media.role='music'"},
      {"media.role='video", {}, "media.role='video"},  // refused by libpulse: left alone
  };
  for (const auto& c : cases)
    EXPECT_EQ(desktop::mergedProplist(c.user, ours, c.taken), c.merged) << c.user;
  // PipeWire's plug-in lets a later key win: ours go first, inside the
  // user's braces; values are quoted.
  const std::pair<std::string, std::string> pipewire[] = {
      {"", R"(media.role="music" application.id="x.y")"},
      {"media.role=Game", R"(media.role="music" application.id="x.y" media.role=Game)"},
      {" { a = \"b\" }", R"( { media.role="music" application.id="x.y"  a = "b" })"},
  };
  for (const auto& [user, merged] : pipewire)
    EXPECT_EQ(desktop::pipewireProplist(user, ours), merged) << user;
  EXPECT_EQ(desktop::pipewireProplist("", {{"k", "a \"b\" \\"}}), R"(k="a \"b\" \\")");
}
