#pragma once

namespace ezip {

// Unpacks the archive at `archivePath` into the existing folder
// `destinationPath`: checks the whole archive, inflates it into a staging
// folder inside the destination and only then moves the files into place.
// Returns EZIP_OK or an EzipCode; the destination is left as it was on every
// failure but EZIP_E_ROLLBACK.
int extract(const char* archivePath, const char* destinationPath);

} // namespace ezip
