#ifndef VELQOR_XMLPARSER_H
#define VELQOR_XMLPARSER_H

#include <functional>
#include <map>
#include <string>

namespace velqor {

/// Reads an XML document as events, by the names' local parts: spreadsheet
/// files use the same names under whatever prefix their program chose.
/// Entities are expanded within the limits the parser sets against entity
/// bombs; no external entity is ever loaded.
class XmlParser {
public:
    using Attributes = std::map<std::string, std::string>;

    std::function<void(const std::string &name, const Attributes &attributes)> onStart;
    std::function<void(const std::string &name)> onEnd;
    std::function<void(const char *text, int length)> onText;

    /// Parses the document whole; false with Error() set when it is no
    /// well-formed XML, or when a handler called Stop().
    bool Parse(const std::string &document);
    /// Ends parsing from a handler, with why.
    void Stop(std::string why);
    const std::string &Error() const { return error; }

private:
    void *parser = nullptr;
    std::string error;
};

} // namespace velqor

#endif // VELQOR_XMLPARSER_H
