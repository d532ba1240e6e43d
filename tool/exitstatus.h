#pragma once

// The tool's exit statuses, as its usage text lists them.
enum ExitStatus : int {
    Success = 0,
    BadUsage = 1,
    Unreadable = 2,  // the CSV file or the day file cannot be read, or holds something wrong
    InUse = 3,       // Tallyleaf holds the day file, or the file changed while it was read
    NotWritten = 4,  // the output or the day file could not be written
    Conflicts = 5,   // sync: things changed on both sides (or not showable here) remain as they were
    ServerFailed = 6, // sync: the server cannot be reached, refuses or answers wrongly
};
