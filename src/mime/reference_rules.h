// The rules by which the collectors decide that an element names a resource
// to embed. GetImages walks the document once per rule; a caller that needs
// every reference in one walk (the mail writer) applies the same rules to
// each element itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corabind {

class Element;

// Elements whose lower-cased tag is `tag` and whose `condition_name`
// attribute equals `condition_value` name a resource in `url_name`.
struct ReferenceRule {
  std::u16string_view tag;
  std::u16string condition_name;  // read with flags 0
  bool lower_condition;           // lower-case its value before comparing
  std::u16string_view condition_value;
  std::u16string url_name;  // src is read with flags 0, key with key_flags
  std::int32_t key_flags;
};

// A Flash embed, a style sheet link, a Flash object's movie.
extern const ReferenceRule kFlashEmbedRule;
extern const ReferenceRule kStyleLinkRule;
extern const ReferenceRule kObjectMovieRule;

// What an element names: the value to resolve, and the key it is filed under.
struct RuleMatch {
  std::u16string src, key;
};

// The text of a URL attribute, or nothing when it is absent: a link without
// HREF or an embed without SRC names no resource, and must not end a walk.
std::optional<std::u16string> UrlAttribute(const Element& element, const std::u16string& name,
                                           std::int32_t flags);

// Whether `element` is one that `rule` looks at (its tag and condition hold).
bool RuleApplies(const Element& element, const ReferenceRule& rule);

// What `element` names under `rule`, if anything. Both the tag and the
// condition are read every time; neither short-cuts the other.
std::optional<RuleMatch> MatchRule(const Element& element, const ReferenceRule& rule);

// What `element` names in one of the image attributes (SRC, BACKGROUND):
// any element with a non-empty value does.
std::optional<RuleMatch> MatchImageAttribute(const Element& element, const std::u16string& name);

// The local path (backslashes, drive letters) that `src` names against the
// folder `base` (ending in a backslash), or nothing for remote and inline
// resources ("https:", "data:", "cid:") and an empty reference.
std::optional<std::u16string> LocalPath(std::u16string_view src, std::u16string_view base);

}  // namespace corabind
