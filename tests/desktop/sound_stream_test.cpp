#include <gtest/gtest.h>

#include "desktop/SoundStream.h"

// Our properties join a list the user set, read as libpulse reads it: a key
// the user's list (or the other variable, `taken`) has stays the user's, and
// a list libpulse would refuse is left alone.
TEST(SoundStream, OurPropertiesJoinTheUsersAndNeverReplaceThem) {
  const std::vector<desktop::Property> ours{{"media.role", "music"}, {"application.id", "x.y"}};
  const std::string both = "media.role='music' application.id='x.y'", id = "application.id='x.y'";
  const struct {
    std::string user;
    std::vector<std::string> taken;
    std::string merged;
  } cases[] = {
      {"", {}, both},
      {"  ", {}, "  " + both},
      {"", {"application.id"}, "media.role='music'"},
      {"media.role=video", {}, "media.role=video " + id},
      {"a='b c' ", {}, "a='b c' " + both},
      // Quotes, escapes and hex values hide no key; an escaped blank is no end.
      {"a=1 b='dos \" tres' c=\"cuatro \\\" cinco\" d=hex:00ff media.role=x",
       {},
       "a=1 b='dos \" tres' c=\"cuatro \\\" cinco\" d=hex:00ff media.role=x " + id},
      {"a=x\\ media.role=2", {}, "a=x\\ media.role=2 " + both},
  };
  for (const auto& c : cases)
    EXPECT_EQ(desktop::mergedProplist(c.user, ours, c.taken), c.merged) << c.user;
  // Lists libpulse refuses: an open quote, no key, no value, an odd hex
  // digit, no blank after a quote.
  for (const char* refused : {"media.role='video", "=video", "media.role", "a=hex:abc", "a='x'b=2"})
    EXPECT_EQ(desktop::mergedProplist(refused, ours, {}), refused);
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
