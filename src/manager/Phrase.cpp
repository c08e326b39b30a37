#include "Phrase.h"

namespace velqor {

std::string Phrase::Text() const
{
    return Fill(source, args);
}

std::string Phrase::Fill(const std::string &source, const std::vector<std::string> &args)
{
    std::string text;
    text.reserve(source.size());
    for (std::size_t i = 0; i < source.size(); ++i) {
        const char next = i + 1 < source.size() ? source[i + 1] : '\0';
        const std::size_t n = static_cast<std::size_t>(next - '1');
        if (source[i] == '%' && next >= '1' && next <= '9' && n < args.size()) {
            text += args[n];
            ++i;
        } else {
            text += source[i];
        }
    }
    return text;
}

} // namespace velqor
