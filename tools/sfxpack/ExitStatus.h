// Exit statuses of sfxpack, as --help documents them.
#pragma once

enum ExitStatus : int {
    kExitOk = 0,
    kExitDamaged = 1,     // verify/extract: an entry is damaged or its name is refused
    kExitUsage = 2,       // bad command line, or a named entry is not in the package
    kExitCannotRead = 3,  // a package, stub or input file cannot be opened or read
    kExitNotPackage = 4,  // no valid package found, or it holds no entries
    kExitCannotWrite = 5, // an output cannot be created or written, or would replace the package read
    kExitRefused = 6,     // create: input the installer could not take (names, counts, sizes, signed stub)
    // Windows: ended by Ctrl+C, Ctrl+Break or the closing of its console. On POSIX an
    // interrupted command ends by its signal, which a shell reports as 128 + its number.
    kExitInterrupted = 130,
};
