#include "ZarvikEngine/Tools/Cryptography.h"

#define LTM_DESC
#include <tomcrypt.h>

#include <fmt/format.h>

#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine::Cryptography {

namespace {

constexpr unsigned long SaltSize = 32;

int hashId = -1;
int prngId = -1;

} // namespace

void init() {
    if (hashId != -1)
        return;
    ltc_mp = ltm_desc;
    hashId = register_hash(&sha256_desc);
    ZE_INTERNAL_ASSERT(hash_is_valid(hashId) == CRYPT_OK);
    ZE_INTERNAL_ASSERT(hash_descriptor[hashId].hashsize == HashSize);
    prngId = register_prng(&sprng_desc);
    ZE_INTERNAL_ASSERT(prng_is_valid(prngId) == CRYPT_OK);
}

Hash hash(std::span<const char> data) {
    ZE_ASSERT(data.data(), "View must have a valid pointer");
    ZE_ASSERT(hashId != -1, "Hash not initialized. Did you forget to call init()?");
    Hash hash;
    unsigned long hashSize = hash.size();
    const int error = hash_memory(hashId, reinterpret_cast<const unsigned char*>(data.data()),
                                  data.size(), hash.data(), &hashSize);
    ZE_INTERNAL_ASSERT(error == CRYPT_OK);
    ZE_INTERNAL_ASSERT(hashSize == hash.size());
    return hash;
}

std::string formatHash(std::span<const std::uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes)
        fmt::format_to(std::back_inserter(out), "{:02x}", byte);
    return out;
}

Key::Key(std::span<const char> der) {
    ZE_ASSERT(der.data(), "View must have a valid pointer");
    /* The parser checks its arguments by aborting, so empty input is turned away here */
    if (der.empty())
        return;
    auto* key = new rsa_key{};
    if (rsa_import(reinterpret_cast<const unsigned char*>(der.data()), der.size(), key) == CRYPT_OK)
        _key = key;
    else
        delete key;
}

Key::Key(Key&& other) noexcept : _key{std::exchange(other._key, nullptr)} {}

Key& Key::operator=(Key&& other) noexcept {
    std::swap(_key, other._key);
    return *this;
}

Key::~Key() {
    if (!_key)
        return;
    rsa_free(_key);
    delete _key;
}

bool Key::isPrivate() const {
    return _key && _key->type == PK_PRIVATE;
}

std::size_t Key::size() const {
    return _key ? rsa_get_size(_key) : 0;
}

bool Key::operator==(const Key& other) const {
    return _key && other._key && ltc_mp.compare(_key->N, other._key->N) == LTC_MP_EQ &&
           ltc_mp.compare(_key->e, other._key->e) == LTC_MP_EQ;
}

std::vector<std::uint8_t> createSignature(std::span<const std::uint8_t> hash, const Key& key) {
    ZE_ASSERT(hash.size() == HashSize,
              "Expected hash of size" << HashSize << "but got" << hash.size());
    ZE_ASSERT(key.isValid(), "Expected valid key");
    ZE_ASSERT(key.isPrivate(), "Expected private key");
    std::vector<std::uint8_t> signature(key.size());
    unsigned long signatureSize = signature.size();
    const int error = rsa_sign_hash_ex(hash.data(), hash.size(), signature.data(), &signatureSize,
                                       LTC_PKCS_1_PSS, nullptr, prngId, hashId, SaltSize, key._key);
    ZE_INTERNAL_ASSERT(error == CRYPT_OK);
    ZE_INTERNAL_ASSERT(signatureSize == signature.size());
    return signature;
}

std::pair<bool, bool> verifySignature(std::span<const std::uint8_t> hash,
                                      std::span<const std::uint8_t> signature, const Key& key) {
    ZE_ASSERT(hash.size() == HashSize,
              "Expected hash of size" << HashSize << "but got" << hash.size());
    ZE_ASSERT(key.isValid(), "Expected valid key");
    if (signature.size() != key.size())
        return {false, false};
    int valid = 0;
    const int error =
        rsa_verify_hash_ex(signature.data(), signature.size(), hash.data(), hash.size(),
                           LTC_PKCS_1_PSS, hashId, SaltSize, &valid, key._key);
    return {error == CRYPT_OK, error == CRYPT_OK && valid == 1};
}

} // namespace ZarvikEngine::Cryptography
