#include "desktop/SoundStream.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "app/Identity.h"

namespace desktop {

std::vector<Property> streamProperties() {
  return {{"application.id", velmar::kDesktopFileName},
          {"application.icon_name", velmar::kDesktopFileName},
          {"media.role", "music"}};
}

std::vector<Property> streamOverrides() {
  return {{"application.name", "Velmar"}};
}

// PipeWire writes roles capitalised (its Pulse server turns "music" into
// "Music"); its graph tools show the node's name.
std::vector<Property> pipewireProperties() {
  std::vector<Property> props = streamOverrides();
  for (Property p : streamProperties()) {
    if (p.first == "media.role") p.second[0] = static_cast<char>(std::toupper(p.second[0]));
    props.push_back(std::move(p));
  }
  props.emplace_back("node.name", "Velmar");
  return props;
}

std::optional<std::vector<std::string>> proplistKeys(const std::string& text) {
  std::vector<std::string> keys;
  size_t i = 0;
  const size_t n = text.size();
  auto blank = [&](size_t at) { return std::isspace(static_cast<unsigned char>(text[at])) != 0; };
  while (true) {
    while (i < n && blank(i)) ++i;
    if (i == n) return keys;
    const size_t keyStart = i;
    while (i < n && text[i] != '=' && !blank(i)) ++i;
    if (i == n || text[i] != '=' || i == keyStart) return std::nullopt;
    keys.push_back(text.substr(keyStart, i - keyStart));
    ++i;  // '='
    if (i < n && (text[i] == '"' || text[i] == '\'')) {
      const char quote = text[i++];
      while (i < n && text[i] != quote) i += text[i] == '\\' ? 2 : 1;
      if (i >= n) return std::nullopt;
      ++i;  // closing quote
    } else if (text.compare(i, 4, "hex:") == 0) {
      i += 4;
      const size_t hexStart = i;
      while (i < n && std::isxdigit(static_cast<unsigned char>(text[i]))) ++i;
      if ((i - hexStart) % 2 != 0) return std::nullopt;
    } else {
      while (i < n && !blank(i)) i += text[i] == '\\' ? 2 : 1;
      if (i > n) return std::nullopt;
    }
    if (i < n && !blank(i)) return std::nullopt;
  }
}

std::string mergedProplist(const std::string& text, const std::vector<Property>& additions,
                           const std::vector<std::string>& taken) {
  const std::optional<std::vector<std::string>> keys = proplistKeys(text);
  if (!keys) return text;
  std::string out = text;
  for (const auto& [key, value] : additions) {
    const auto has = [&](const std::vector<std::string>& list) {
      return std::find(list.begin(), list.end(), key) != list.end();
    };
    if (has(*keys) || has(taken)) continue;
    if (!out.empty() && !std::isspace(static_cast<unsigned char>(out.back()))) out += ' ';
    out += key + "='" + value + "'";
  }
  return out;
}

std::string pipewireProplist(const std::string& user, const std::vector<Property>& ours) {
  std::string entries;
  for (const auto& [key, value] : ours) {
    entries += (entries.empty() ? "" : " ") + key + "=\"";
    for (const char c : value) {
      if (c == '"' || c == '\\') entries += '\\';
      entries += c;
    }
    entries += '"';
  }
  const size_t first = user.find_first_not_of(" \t\n\r");
  if (first == std::string::npos) return entries;
  if (user[first] == '{')
    return user.substr(0, first + 1) + ' ' + entries + ' ' + user.substr(first + 1);
  return entries + ' ' + user;
}

void nameSoundStream() {
  const char* prop = std::getenv("PULSE_PROP");
  const char* override = std::getenv("PULSE_PROP_OVERRIDE");
  const std::string userProp = prop ? prop : "";
  const std::string userOverride = override ? override : "";
  // A key the user set in either variable is the user's.
  const std::vector<std::string> inProp =
      proplistKeys(userProp).value_or(std::vector<std::string>{});
  const std::vector<std::string> inOverride =
      proplistKeys(userOverride).value_or(std::vector<std::string>{});
  const std::string newProp = mergedProplist(userProp, streamProperties(), inOverride);
  const std::string newOverride = mergedProplist(userOverride, streamOverrides(), inProp);
  if (newProp != userProp) ::setenv("PULSE_PROP", newProp.c_str(), 1);
  if (newOverride != userOverride) ::setenv("PULSE_PROP_OVERRIDE", newOverride.c_str(), 1);
  const char* pipewire = std::getenv("PIPEWIRE_ALSA");
  ::setenv("PIPEWIRE_ALSA",
           pipewireProplist(pipewire ? pipewire : "", pipewireProperties()).c_str(), 1);
}

}  // namespace desktop
