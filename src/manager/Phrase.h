#ifndef VELQOR_PHRASE_H
#define VELQOR_PHRASE_H

#include <string>
#include <vector>

/// Marks an English text for translation where it is written: the window's
/// translation tools read it as Qt's QT_TRANSLATE_NOOP, and the command line
/// prints it as it stands.
#define VELQOR_PHRASE(context, text) text

namespace velqor {

/// A text for a person with its values apart: the English source with
/// placeholders %1 to %9, and what takes their place. The window translates
/// the source (context "velqor") before the values go in; nothing is glued.
struct Phrase {
    const char *source = "";
    std::vector<std::string> args;

    /// The source with each %N replaced by the Nth value, in one pass: a
    /// value that holds a % is not read again.
    std::string Text() const;
    /// The same for any source, the translated one among them.
    static std::string Fill(const std::string &source, const std::vector<std::string> &args);
};

} // namespace velqor

#endif // VELQOR_PHRASE_H
