/* The extraction library EZip: plain C, loaded by name by its callers.
 *
 * Every function returns 0 or a negative EzipCode (ezip_codes.h). Paths are
 * zero-terminated: Vexa_Unzip's 8-bit text in the system's code page, the run
 * entries' UTF-8 (opened through the system's wide functions on Windows).
 * Destination folders must exist. */
#ifndef EZIP_EZIP_H
#define EZIP_EZIP_H

#include "ezip_codes.h"

#if defined(_WIN32) && defined(EZIP_BUILD)
#define EZIP_API __declspec(dllexport)
#elif defined(_WIN32)
#define EZIP_API __declspec(dllimport)
#else
#define EZIP_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Unpacks one archive into `szdirname`, replacing files of the same name:
 * all of it or, on a failure, nothing. */
EZIP_API short Vexa_Unzip(const char* szzipfilename, const char* szdirname);

/* A run unpacks several archives as one change. Vexa_RunBegin opens a run
 * recorded in the journal file `szjournal` (which must not exist); each
 * Vexa_RunStage checks one archive and inflates it into a staging folder
 * inside `szdirname` (an absolute path), changing nothing else; Vexa_RunCommit
 * then moves the files of every staged archive into place in the order they
 * were staged, a later archive's file over an earlier one's, and on a failure
 * puts back everything it had moved. Vexa_RunAbort drops a run that was not
 * committed. Vexa_RunRecover settles the run a killed process left behind in
 * `szjournal`: it finishes a commit under way (or undoes it when it cannot
 * finish), drops an uncommitted run, and removes every staging folder; 0 when
 * there was nothing to settle or the run was finished. */
/* The compression method (0..65535) of the first entry of the archive that
 * the library refuses to decode, so that a caller can name it; -1 when there
 * is none or the archive cannot be read. */
EZIP_API int Vexa_RefusedMethod(const char* szzipfilename);

EZIP_API short Vexa_RunBegin(const char* szjournal);
EZIP_API short Vexa_RunStage(const char* szjournal, const char* szzipfilename,
                             const char* szdirname);
EZIP_API short Vexa_RunCommit(const char* szjournal);
EZIP_API short Vexa_RunAbort(const char* szjournal);
EZIP_API short Vexa_RunRecover(const char* szjournal);
/* The file (UTF-8, as the run named it) that another program kept the last
 * Vexa_RunCommit of this process from replacing, when it returned
 * EZIP_E_IN_USE: copied zero-terminated into `szpath` of `cbpath` bytes.
 * Returns its length without the zero, 0 when there is none, or
 * EZIP_E_ARGUMENT when it does not fit. */
EZIP_API short Vexa_RunBusyFile(char* szpath, short cbpath);

#ifdef __cplusplus
}
#endif

#endif
