#include "ZarvikEngine/Tools/Cryptography.h"

#define LTM_DESC
#include <tomcrypt.h>

#include <fmt/format.h>

#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine::Cryptography {

namespace {

constexpr unsigned long SaltSize = 32;
/* PSS encodes into the bits below the modulus's top one, whose whole bytes must hold the
   digest, the salt and two more bytes: at least 8 · 65 + 1 bits */
constexpr int MinimumModulusBits = 8 * (HashSize + SaltSize + 1) + 2;

int hashId = -1;
int prngId = -1;

/* p and q consistent with the modulus, d with e, and the CRT values with d, p and q; the
   library signs with the CRT values and checks the result with e, so parts that disagree
   would fail only when signing */
bool privatePartsAgree(const rsa_key& key) {
    const ltc_math_descriptor& mp = ltc_mp;
    if (mp.compare_d(key.p, 3) == LTC_MP_LT || mp.compare_d(key.q, 3) == LTC_MP_LT)
        return false;
    void *product, *pMinusOne, *qMinusOne, *remainder;
    if (ltc_init_multi(&product, &pMinusOne, &qMinusOne, &remainder, nullptr) != CRYPT_OK)
        return false;
    const auto remainderIs = [&](void* expected) {
        return mp.compare(remainder, expected) == LTC_MP_EQ;
    };
    const auto remainderIsOne = [&] { return mp.compare_d(remainder, 1) == LTC_MP_EQ; };
    const bool agree =
        mp.mul(key.p, key.q, product) == CRYPT_OK && mp.compare(product, key.N) == LTC_MP_EQ &&
        mp.subi(key.p, 1, pMinusOne) == CRYPT_OK && mp.subi(key.q, 1, qMinusOne) == CRYPT_OK &&
        mp.mulmod(key.e, key.d, pMinusOne, remainder) == CRYPT_OK && remainderIsOne() &&
        mp.mulmod(key.e, key.d, qMinusOne, remainder) == CRYPT_OK && remainderIsOne() &&
        mp.mpdiv(key.d, pMinusOne, nullptr, remainder) == CRYPT_OK && remainderIs(key.dP) &&
        mp.mpdiv(key.d, qMinusOne, nullptr, remainder) == CRYPT_OK && remainderIs(key.dQ) &&
        mp.mulmod(key.qP, key.q, key.p, remainder) == CRYPT_OK && remainderIsOne();
    ltc_deinit_multi(product, pMinusOne, qMinusOne, remainder, nullptr);
    return agree;
}

bool isOdd(void* number) {
    return ltc_mp.get_digit_count(number) > 0 && (ltc_mp.get_digit(number, 0) & 1);
}

/* Keys come from files: one that couldn't sign or verify, or would sign wrongly, is turned
   away when it is read rather than failing later */
bool isUsable(const rsa_key& key) {
    const ltc_math_descriptor& mp = ltc_mp;
    if (mp.count_bits(key.N) < MinimumModulusBits || !isOdd(key.N))
        return false;
    if (mp.compare_d(key.e, 3) == LTC_MP_LT || !isOdd(key.e) ||
        mp.compare(key.e, key.N) != LTC_MP_LT)
        return false;
    return key.type != PK_PRIVATE || privatePartsAgree(key);
}

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
    if (rsa_import(reinterpret_cast<const unsigned char*>(der.data()), der.size(), key) !=
        CRYPT_OK) {
        delete key;
        return;
    }
    _key = key;
    if (!isUsable(*key))
        *this = Key{};
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
    /* Keys are checked when read, but the random source can still fail */
    if (error != CRYPT_OK) {
        Error{} << "createSignature(): signing failed:" << error_to_string(error);
        return {};
    }
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
