#ifndef ORVANE_LOGSETUP_H
#define ORVANE_LOGSETUP_H

#include <string>

namespace velqor {

/// Whether text chooses a level of the diagnostic log: trace, debug or info,
/// in any case; empty chooses none.
bool IsLogLevel(const std::string &level);

/// Whether the folder a log file would go into is there. Checked before
/// anything is opened, also when no level switches the log on.
bool LogFolderExists(const std::string &filePath);

/// Switches the diagnostic log on before the logger starts: sets logLevel
/// and sends the records, each with a time stamp, to standard error or, with
/// a path, to that file (appended to; the path is taken as it is written).
/// An empty level leaves everything as it is: nothing is written. Returns
/// false when the file cannot be opened.
bool SetUpLogging(const std::string &level, const std::string &filePath);

/// Whether writing to the log file has failed since it was set up (a full
/// disk): the records since are lost.
bool LogFileFailed();

} // namespace velqor

#endif // ORVANE_LOGSETUP_H
