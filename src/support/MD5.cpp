// MD5 through OpenSSL's EVP interface: its assembly implementation is the
// fastest available here. The algorithm is fetched once per process. Where
// OpenSSL refuses MD5 (a FIPS configuration), Qt's implementation serves.
#include "kvsupport/support/MD5.h"

#include "support/MD5_p.h"

#include <QCryptographicHash>
#include <openssl/evp.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstring>

namespace {

constexpr size_t kFilePiece = 16384;

std::atomic<bool> gForceQt{false};

// The fetched algorithm, or null when OpenSSL will not provide MD5. Never
// freed: the process may digest until its last static destructor.
const EVP_MD *md5Algorithm() {
  static const EVP_MD *const algorithm = EVP_MD_fetch(nullptr, "MD5", nullptr);
  return gForceQt.load(std::memory_order_relaxed) ? nullptr : algorithm;
}

YString hexDigits(const unsigned char *digest, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  char text[2 * EVP_MAX_MD_SIZE + 1];
  assert(size <= EVP_MAX_MD_SIZE && "an MD5 digest is 16 bytes");
  for (size_t i = 0; i < size; ++i) {
    text[2 * i] = kDigits[digest[i] >> 4];
    text[2 * i + 1] = kDigits[digest[i] & 15];
  }
  return YString(text, static_cast<int>(2 * size));
}

YString hexDigits(const QByteArray &digest) {
  return hexDigits(reinterpret_cast<const unsigned char *>(digest.constData()),
                   static_cast<size_t>(digest.size()));
}

} // namespace

// Exactly one of the two is in use, chosen when the state is made.
struct MD5_Impl::State {
  EVP_MD_CTX *context = nullptr;
  std::unique_ptr<QCryptographicHash> fallback;

  State() {
    if (const EVP_MD *algorithm = md5Algorithm()) {
      context = EVP_MD_CTX_new();
      if (context && EVP_DigestInit_ex(context, algorithm, nullptr) == 1)
        return;
      EVP_MD_CTX_free(context);
      context = nullptr;
    }
    fallback = std::make_unique<QCryptographicHash>(QCryptographicHash::Md5);
  }
  ~State() { EVP_MD_CTX_free(context); }
  State(const State &) = delete;
  State &operator=(const State &) = delete;
};

MD5_Impl::MD5_Impl() : state_(std::make_unique<State>()) {}
MD5_Impl::~MD5_Impl() = default;
MD5_Impl::MD5_Impl(MD5_Impl &&other) noexcept = default;
MD5_Impl &MD5_Impl::operator=(MD5_Impl &&other) noexcept = default;

void MD5_Impl::addBytes(const void *data, size_t size) {
  if (!state_) // moved from: a fresh digest
    state_ = std::make_unique<State>();
  if (size == 0)
    return;
  if (state_->context) {
    EVP_DigestUpdate(state_->context, data, size);
    return;
  }
  // Qt takes at most an int's worth at a time.
  const char *at = static_cast<const char *>(data);
  for (size_t left = size; left > 0;) {
    const size_t piece = std::min<size_t>(left, size_t{1} << 30);
    state_->fallback->addData(at, static_cast<int>(piece));
    at += piece;
    left -= piece;
  }
}

void MD5_Impl::addString(const char *text) {
  if (text)
    addBytes(text, std::strlen(text));
}

bool MD5_Impl::addFile(FILE *stream) {
  if (!stream)
    return false;
  char piece[kFilePiece];
  size_t got;
  while ((got = std::fread(piece, 1, sizeof piece, stream)) > 0)
    addBytes(piece, got);
  return !std::ferror(stream);
}

YString MD5_Impl::get() const {
  if (!state_)
    return sp_GetMD5("");
  if (!state_->context)
    return hexDigits(state_->fallback->result());
  // Finishing consumes a context: finish a copy, so adding may go on.
  EVP_MD_CTX *copy = EVP_MD_CTX_new();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  bool done = copy && EVP_MD_CTX_copy_ex(copy, state_->context) == 1 &&
              EVP_DigestFinal_ex(copy, digest, &size) == 1;
  EVP_MD_CTX_free(copy);
  return done ? hexDigits(digest, size) : YString();
}

void MD5_Impl::reinit() { state_ = std::make_unique<State>(); }

YString sp_GetMD5(FILE *stream) {
  MD5_Impl digest;
  return digest.addFile(stream) ? digest.get() : YString();
}

YString sp_GetMD5(const char *text) {
  if (!text)
    return YString();
  const size_t size = std::strlen(text);
  if (const EVP_MD *algorithm = md5Algorithm()) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(text, size, digest, &length, algorithm, nullptr) == 1)
      return hexDigits(digest, length);
  }
  return hexDigits(QCryptographicHash::hash(QByteArray::fromRawData(text, static_cast<int>(size)),
                                            QCryptographicHash::Md5));
}

void kv::detail::useQtMd5(bool qt) { gForceQt.store(qt, std::memory_order_relaxed); }
