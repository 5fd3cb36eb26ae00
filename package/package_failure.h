#pragma once

#include "package/package_signature.h"

#include <string>
#include <vector>

namespace qlx {

// A package of the build list that could not be installed, and why, in words
// for the user.
struct PackageFailure {
    std::string file;
    std::string reason;
};

// Why a package that the publisher's key did not sign is refused.
inline constexpr const char* kNotSignedReason = "게시자가 서명한 패키지가 아닙니다";

// Why a package signed for another row, folder, build or name is refused.
inline constexpr const char* kWrongPlaceReason = "서명이 이 패키지의 위치와 맞지 않습니다";
// Why a NULL package fails when packages are checked: a row must not
// withhold a signed fix unnoticed.
inline constexpr const char* kEmptyPackageReason = "패키지가 비어 있습니다";

// The reason for a package that failed its check.
[[nodiscard]] const char* signatureFailureReason(SignatureCheck check);

// The box of the single-package and FTP updates for such a package, `file`.
inline constexpr const char* kNotSignedTitle = "확인!";
[[nodiscard]] std::string notSignedText(const std::string& file,
                                        const std::string& reason = kNotSignedReason);

// Why EZip refused or failed a package: its result code in words.
[[nodiscard]] std::string extractionFailureText(long code);

// The text of the one box that tells the user which packages failed.
[[nodiscard]] std::string packageFailuresText(const std::vector<PackageFailure>& failures);

} // namespace qlx
