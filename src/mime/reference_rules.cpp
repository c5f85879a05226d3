#include "mime/reference_rules.h"

#include <algorithm>

#include "core/document.h"
#include "core/text.h"
#include "mime/resolve.h"

namespace corabind {

const ReferenceRule kFlashEmbedRule{u"embed", u"TYPE", true, u"application/x-shockwave-flash",
                                    u"SRC",   2};
const ReferenceRule kStyleLinkRule{u"link", u"REL", true, u"stylesheet", u"HREF", 2};
const ReferenceRule kObjectMovieRule{
    u"object", u"CLASSID", false, u"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000", u"MOVIE", 0};

std::optional<std::u16string> UrlAttribute(const Element& element, const std::u16string& name,
                                           std::int32_t flags) {
  const Variant value = element.getAttribute(name, flags);
  if (value.IsNull()) return std::nullopt;
  return value.ToText();
}

namespace {

bool ConditionHolds(const Element& element, const ReferenceRule& rule) {
  const Variant value = element.getAttribute(rule.condition_name, 0);
  if (value.IsNull()) return false;  // an absent attribute compares unequal
  const std::u16string text = value.ToText();
  return (rule.lower_condition ? AsciiLower(text) : text) == rule.condition_value;
}

std::u16string SlashesToBackslashes(std::u16string_view text) {
  std::u16string out(text);
  std::replace(out.begin(), out.end(), u'/', u'\\');
  return out;
}

}  // namespace

bool RuleApplies(const Element& element, const ReferenceRule& rule) {
  const bool tag_matches = AsciiLower(element.tagName()) == rule.tag;
  const bool condition_holds = ConditionHolds(element, rule);
  return tag_matches && condition_holds;
}

std::optional<RuleMatch> MatchRule(const Element& element, const ReferenceRule& rule) {
  if (!RuleApplies(element, rule)) return std::nullopt;
  auto src = UrlAttribute(element, rule.url_name, 0);
  if (!src) return std::nullopt;
  auto key = UrlAttribute(element, rule.url_name, rule.key_flags);
  if (!key) return std::nullopt;
  return RuleMatch{std::move(*src), std::move(*key)};
}

std::optional<RuleMatch> MatchImageAttribute(const Element& element, const std::u16string& name) {
  auto src = UrlAttribute(element, name, 0);
  if (!src || src->empty()) return std::nullopt;
  auto key = UrlAttribute(element, name, 2);
  if (!key) return std::nullopt;
  return RuleMatch{std::move(*src), std::move(*key)};
}

std::optional<std::u16string> LocalPath(std::u16string_view src, std::u16string_view base) {
  if (src.empty()) return std::nullopt;
  if (StartsWithIgnoringAsciiCase(src, u"file:")) {
    // "file://" plus the path: exactly seven characters go, whatever
    // follows them ("file:///C:/a" keeps a leading backslash).
    return SlashesToBackslashes(src.substr(std::min<std::size_t>(7, src.size())));
  }
  // Remote and inline resources are no local file; embedding them would only
  // give empty parts.
  if (StartsWithUrlScheme(src)) return std::nullopt;
  if (src.size() >= 2 && src[1] == u':') return std::u16string(src);  // a drive path as written
  if (src.front() == u'/') src.remove_prefix(1);
  return std::u16string(base) + SlashesToBackslashes(src);
}

}  // namespace corabind
