#pragma once
// The run log: one plain-text line per event of the measurements (a run's start and end, a save, a
// refused start, an instrument error), so that the morning shows what happened in the night. The run
// engine, the saver and the script run write to the RunLog they are handed; the programs hand them a
// file, tests a memory.
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

class RunLog {
public:
    virtual ~RunLog() = default;
    // One event. `event` is one of the program's own words ("start", "end", "save", ...); `detail` may
    // hold any text, also from files and users: the log keeps it on its one line.
    virtual void record(std::string_view event, std::string_view detail) = 0;
};

class NullRunLog final : public RunLog {
public:
    void record(std::string_view, std::string_view) override {}
};

// Keeps the events in memory (tests read them back).
class MemoryRunLog final : public RunLog {
public:
    struct Entry {
        std::string event, detail;
    };
    std::vector<Entry> entries;
    void record(std::string_view event, std::string_view detail) override {
        entries.push_back({std::string(event), std::string(detail)});
    }
    // The entries of one event, in order.
    std::vector<std::string> details(std::string_view event) const;
};

// A log file grows to this size; the next line first moves it to "<path>.1" (replacing the older one).
inline constexpr std::uintmax_t kRunLogLimitBytes = 10u * 1024 * 1024;

// Appends one line per event to a file: "<time> <program> <event> <detail>". A line that cannot be
// written is lost, never the run: the first failure (and the first after the log worked again) is
// told to `reportFailure`, once.
class FileRunLog final : public RunLog {
public:
    FileRunLog(std::string path, std::string program, std::function<void(const std::string&)> reportFailure,
               std::uintmax_t limitBytes = kRunLogLimitBytes);
    void record(std::string_view event, std::string_view detail) override;
    const std::string& path() const { return path_; }
    // Where the time of each line comes from (the system's wall clock unless replaced).
    std::function<std::time_t()> now = [] { return std::time(nullptr); };

private:
    // Appends `line`; false with the reason in `error`.
    bool append(const std::string& line, std::string& error);

    std::string path_;
    std::string program_;
    std::function<void(const std::string&)> reportFailure_;
    std::uintmax_t limit_;
    bool failing_ = false;
};

// A text on one line: backslash, line breaks, the other control characters (also the Unicode line
// and paragraph separators) and bytes that are not UTF-8 are written as escapes (\\, \r, \n, \t,
// \xHH, \uHHHH).
std::string escapeLogText(std::string_view text);

// "2024-05-01T03:12:45+02:00": local time in ISO 8601 with its offset from UTC.
std::string isoLocalTime(std::time_t t);

// "2024-05-01T03:12:45+02:00 korvo start <detail>": isoLocalTime, program, event and detail.
std::string runLogLine(std::time_t t, std::string_view program, std::string_view event, std::string_view detail);

// Where the log of the settings file `iniPath` is kept: beside the settings, except that settings
// in the user's configuration directory ($XDG_CONFIG_HOME/korvo) have their log in the matching state
// directory, $XDG_STATE_HOME/korvo (~/.local/state/korvo when unset).
std::string runLogPath(const std::string& iniPath);

} // namespace korvo
