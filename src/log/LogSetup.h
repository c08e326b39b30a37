#ifndef ORVANE_LOGSETUP_H
#define ORVANE_LOGSETUP_H

#include <string>

namespace velqor {

/// Switches the diagnostic log on before the logger starts: sets logLevel
/// and sends the records, each with a time stamp, to standard error or, with
/// a path, to that file (appended to). An empty level leaves everything as
/// it is: nothing is written. Returns false when the file cannot be opened.
bool SetUpLogging(const std::string &level, const std::string &filePath);

} // namespace velqor

#endif // ORVANE_LOGSETUP_H
