#include "XmlParser.h"

#include <expat.h>

#include <cstring>

namespace velqor {

namespace {

// Namespace URI and local name are joined by this; the local name is what follows.
constexpr char kSeparator = '\x01';

std::string Local(const XML_Char *name)
{
    const char *local = std::strrchr(name, kSeparator);
    return local ? local + 1 : name;
}

} // namespace

bool XmlParser::Parse(const std::string &document)
{
    error.clear();
    XML_Parser xml = XML_ParserCreateNS("UTF-8", kSeparator);
    if (!xml) {
        error = "out of memory";
        return false;
    }
    parser = xml;
    XML_SetUserData(xml, this);
    XML_SetElementHandler(
        xml,
        [](void *self, const XML_Char *name, const XML_Char **attributes) {
            auto *me = static_cast<XmlParser *>(self);
            if (!me->onStart)
                return;
            Attributes named;
            for (const XML_Char **at = attributes; *at; at += 2)
                named[Local(at[0])] = at[1];
            me->onStart(Local(name), named);
        },
        [](void *self, const XML_Char *name) {
            auto *me = static_cast<XmlParser *>(self);
            if (me->onEnd)
                me->onEnd(Local(name));
        });
    XML_SetCharacterDataHandler(xml, [](void *self, const XML_Char *text, int length) {
        auto *me = static_cast<XmlParser *>(self);
        if (me->onText)
            me->onText(text, length);
    });
    const bool parsed = XML_Parse(xml, document.data(), static_cast<int>(document.size()), XML_TRUE) == XML_STATUS_OK;
    if (!parsed && error.empty())
        error = std::string(XML_ErrorString(XML_GetErrorCode(xml))) + " at line " +
#ifdef ORVANE_EXPAT_LINE64
            std::to_string(XML_GetCurrentLineNumber64(xml));
#else
            std::to_string(XML_GetCurrentLineNumber(xml));
#endif
    XML_ParserFree(xml);
    parser = nullptr;
    return parsed;
}

void XmlParser::Stop(std::string why)
{
    if (parser && error.empty()) {
        error = std::move(why);
        XML_StopParser(static_cast<XML_Parser>(parser), XML_FALSE);
    }
}

} // namespace velqor
