#pragma once

namespace staywake {

/// How the bundle's update verifier (StaywakeUpdateVerify) ends: the verifier
/// exits with these and the app reads them back, both from this one list.
enum class UpdateVerifierStatus : int {
    verified = 0,
    /// The signature does not match the package.
    mismatch = 1,
    /// Not called with exactly a signature and a key.
    usage = 2,
    /// The key is not a base64 Ed25519 public key.
    badKey = 3,
    /// The signature is empty.
    unsigned_ = 4,
    /// The signature is not a base64 Ed25519 signature.
    badSignature = 5,
    /// The package could not be read whole, or is larger than any accepted.
    unreadable = 6,
    /// The check itself could not be made.
    failed = 7,
};

} // namespace staywake
