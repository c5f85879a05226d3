#include "flash/flash_markup.h"

#include "core/attribute_text.h"

namespace corabind {

namespace {

std::u16string SizeAttributes(const std::u16string& width, const std::u16string& height) {
  std::u16string out;
  if (!width.empty()) out += u" width=\"" + width + u"\"";
  if (!height.empty()) out += u" height=\"" + height + u"\"";
  return out;
}

const char16_t* TrueFalse(bool on) {
  return on ? u"true" : u"false";
}

}  // namespace

std::u16string BuildFlashMarkup(const FlashMovie& movie) {
  const std::u16string file = AttributeText(movie.file);
  const std::u16string quality = AttributeText(movie.quality);
  const std::u16string sizes =
      SizeAttributes(AttributeText(movie.width), AttributeText(movie.height));

  std::u16string out = u"<OBJECT codeBase=\"";
  out += kFlashInstallerHost;
  out += u"/pub/shockwave/cabs/flash/swflash.cab#version=4,0,2,0\" ";
  out += u"classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" ";
  out += sizes;
  out += u">\r\n";
  out += u"<PARAM NAME=\"Movie\" VALUE=\"" + file + u"\">\r\n";
  out += u"<PARAM NAME=\"Loop\" VALUE=\"";
  out += TrueFalse(movie.loop);
  out += u"\">\r\n";
  out += u"<PARAM NAME=\"Play\" VALUE=\"";
  out += TrueFalse(movie.play);
  out += u"\">\r\n";
  out += u"<PARAM NAME=\"Quality\" VALUE=\"" + quality + u"\">\r\n";
  out += u"<embed src=\"" + file + u"\" quality=\"" + quality;
  out += u"\" pluginspage=\"";
  out += kFlashPluginPageHost;
  out +=
      u"/shockwave/download/index.cgi?P1_Prod_Version=ShockwaveFlash\" "
      u"type=\"application/x-shockwave-flash\"";
  out += sizes;
  if (!movie.loop) out += u" loop=\"false\"";
  if (!movie.play) out += u" play=\"false\"";
  out += u"></embed></object>";
  return out;
}

}  // namespace corabind
