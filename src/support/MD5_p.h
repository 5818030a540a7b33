// Internal header, not API: the choice between OpenSSL and Qt's MD5.
#pragma once

namespace kv::detail {

/// Makes later digests use Qt's implementation, as where OpenSSL refuses MD5,
/// or OpenSSL again (when it provides MD5). For tests of the fallback.
void useQtMd5(bool qt);

} // namespace kv::detail
