#pragma once

#include "base/bytes.h"
#include "package/package_place.h"

#include <string>

namespace qlx::publish {

class SecretKey;

// What signing did to an archive.
struct Signing {
    bool signedIt = false;
    // The archive carried a comment of its own, which the signature replaced.
    bool replacedComment = false;
    std::string error;
};

// Signs the zip archive `archive` in place for `place`, the row (or FTP name)
// it goes to: its comment becomes the signature comment that the updater
// checks against the row it reads, over every byte before it. The
// archive must end with its end-of-central-directory record and that record's
// comment; zip64 archives keep their zip64 records before it untouched.
Signing signPackage(Bytes& archive, const SecretKey& key, const PackagePlace& place);

} // namespace qlx::publish
