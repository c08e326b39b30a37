#include "Phrase.h"

namespace velqor {

std::string Phrase::Text() const
{
    return Fill(source, args);
}

std::string Phrase::Fill(const std::string &source, const std::vector<std::string> &args)
{
    // Most texts have no value: a copy. Diagnoses make one for every device.
    std::size_t mark = source.find('%');
    if (mark == std::string::npos)
        return source;
    std::string text;
    text.reserve(source.size() + 16 * args.size());
    std::size_t done = 0;
    for (; mark != std::string::npos; mark = source.find('%', mark + 1)) {
        const char next = mark + 1 < source.size() ? source[mark + 1] : '\0';
        if (next < '1' || next > '9' || static_cast<std::size_t>(next - '1') >= args.size())
            continue;
        text.append(source, done, mark - done);
        text += args[static_cast<std::size_t>(next - '1')];
        done = ++mark + 1;
    }
    text.append(source, done, std::string::npos);
    return text;
}

} // namespace velqor
