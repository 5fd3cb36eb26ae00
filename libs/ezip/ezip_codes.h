#pragma once

// Results of Vexa_Unzip(archive, folder).
//
// The folder must exist; the library does not create it, so that a path that
// was mangled on its way here (a lossy 8-bit conversion) fails instead of
// growing a stray tree. The whole archive is checked before anything is
// written, then inflated into a staging folder ".ezip-staging-XXXXXX" inside
// the destination (one file system, so the final moves are renames), and only
// when every entry inflated to its declared size with a matching CRC are the
// files renamed into place, replacing files of the same name. A journal
// beside them records each step, so that a call killed during the renames is
// finished or undone by the next call: every file is whole, old or new. A run
// of several archives (ezip.h) also flushes the staged files and its journal
// to disk before the first rename, so that a power loss is survived too.
//
// 0 means every entry stands under the folder. Every other value is a failure
// after which the folder is as it was (except EZIP_E_ROLLBACK). The callers
// only test for zero; the distinct values are for whoever reads a log or a
// debugger.
enum EzipCode {
    EZIP_OK = 0,
    EZIP_E_ARGUMENT = -1,      // a null or empty path
    EZIP_E_OPEN = -2,          // the archive cannot be opened or read
    EZIP_E_NOT_ZIP = -3,       // empty file, no end-of-central-directory record (HTML page...)
    EZIP_E_STRUCTURE = -4,     // inconsistent or truncated directory, local header, multi-disk
    EZIP_E_NAME = -5,          // a name that is absolute, leaves the folder or is not portable
    EZIP_E_NAME_ENCODING = -6, // a name that is neither valid UTF-8 nor valid CP949
    // A symbolic link, or a Unix file type unknown to the library (zip has no
    // hard-link type). FIFO, device and socket entries are written as files.
    EZIP_E_ENTRY_TYPE = -7,
    EZIP_E_DUPLICATE =
        -8, // the same name twice (also after case folding), or a file that is also a folder
    EZIP_E_ENCRYPTED = -9,         // an encrypted entry
    EZIP_E_METHOD = -10,           // a compression method this build does not decode
    EZIP_E_OVERLAP = -11,          // entries whose local data overlap (or overlap the directory)
    EZIP_E_TOO_MANY_ENTRIES = -12, // more entries than the library accepts
    EZIP_E_RATIO = -13,            // no longer returned; kept so that no value changes meaning
    // The destination's file system lacks room for the unpacked files, or in a
    // run for the journal's commit point (nothing was moved) or for a move
    // (every move was undone).
    EZIP_E_NO_SPACE = -14,
    EZIP_E_DESTINATION =
        -15, // the folder is missing, not a folder, or its tree conflicts with the archive
    EZIP_E_STAGING = -16, // the staging folder or a staged file cannot be created or written
    EZIP_E_DATA = -17,    // corrupt data: CRC mismatch, inflate error, truncated data
    EZIP_E_SIZE = -18,    // an entry inflates past (or short of) its declared size
    EZIP_E_INSTALL = -19, // moving the staged files into place failed; every move was undone
    EZIP_E_ROLLBACK =
        -20, // moving failed and undoing it failed too: the destination may be changed
    EZIP_E_INTERNAL = -21, // out of memory or another unexpected condition inside the library
    EZIP_E_JOURNAL = -22,  // the run's journal cannot be written or read, or a run is still open
    // Every file of the run is in place, but the disk reported an error when
    // the moves were flushed; the journal stays and the next call finishes.
    EZIP_E_INSTALLED_UNFLUSHED = -30,
    // Every file of the run is in place and on disk, but a staging folder could
    // not be removed (other than for a file another program holds, such as
    // the old image of a program that runs) or the journal could not be
    // settled; the next call removes the rest.
    EZIP_E_INSTALLED_UNCLEANED = -31,
    // Another program kept using a file that the run replaces; every move was
    // undone. Vexa_RunBusyFile names the file.
    EZIP_E_IN_USE = -23,
    // Never returned by the library: a caller's adapter that hands it 8-bit
    // paths returns it, without calling, for a path whose characters the
    // system's code page cannot hold (a path with "?" would name another file).
    EZIP_E_PATH_CODE_PAGE = -24,
};
