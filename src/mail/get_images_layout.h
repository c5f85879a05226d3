// The message exactly as the control's GetImages writes it, for callers that
// rely on its layout: the references GetImages embeds are pointed at their
// parts' cid: URLs (the key, percent-encoded), everything else is as written.
#pragma once

#include <string>

#include "mail/mail_writer.h"

namespace corabind {
class OrvaneControl;
}

namespace corabind::mail {

// Runs `control`.GetImages over the page (its services read the files and
// show the trace when `debug`) and returns what it returns for the page's
// HTML, rewritten unless `keep_html`, with CR LF line ends. `html_size` is
// set to the length of that HTML, which follows the fixed header.
std::u16string GetImagesLayout(OrvaneControl& control, const Page& page, bool keep_html, bool debug,
                               std::size_t* html_size = nullptr);

// "cid:" and the key, percent-encoded (UTF-8) where a URL, or an HTML
// attribute value, could not carry the character as it is.
std::string CidUrl(std::u16string_view key);

}  // namespace corabind::mail
