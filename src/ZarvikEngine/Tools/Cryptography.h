#ifndef ZarvikEngine_Tools_Cryptography_h
#define ZarvikEngine_Tools_Cryptography_h

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

struct Rsa_key;

namespace ZarvikEngine::Cryptography {

/* Size of a SHA-256 digest in bytes */
constexpr std::size_t HashSize = 32;

using Hash = std::array<std::uint8_t, HashSize>;

/* Registers SHA-256 and the system random generator with the crypto library. Call once,
   before any other thread hashes or signs; later calls return at once. */
void init();

/* SHA-256 of the whole view. The view must not be null; an empty one is fine. */
Hash hash(std::span<const char> data);

/* Two lowercase hex digits per byte */
std::string formatHash(std::span<const std::uint8_t> bytes);

/* An RSA key parsed from DER: PKCS #1 public or private, or X.509 SubjectPublicKeyInfo */
class Key {
public:
    Key() noexcept = default;
    /* Stays invalid, silently, when the bytes are not a key or the key can't be used: a
       modulus too small for the signature (below 522 bits), a public exponent that is even,
       below 3 or not below the modulus, or private parts that disagree with each other */
    explicit Key(std::span<const char> der);
    Key(Key&& other) noexcept;
    Key& operator=(Key&& other) noexcept;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key();

    bool isValid() const { return _key != nullptr; }
    bool isPrivate() const;
    /* Modulus size in bytes, which is also the signature size; 0 for an invalid key */
    std::size_t size() const;

    /* Same modulus and public exponent; never true when either key is invalid */
    bool operator==(const Key& other) const;

private:
    friend std::vector<std::uint8_t> createSignature(std::span<const std::uint8_t>, const Key&);
    friend std::pair<bool, bool> verifySignature(std::span<const std::uint8_t>,
                                                 std::span<const std::uint8_t>, const Key&);

    Rsa_key* _key{};
};

/* RSA-PSS signature (SHA-256, 32-byte random salt) of a 32-byte digest with a private key.
   Empty, after printing a message, when the library fails to sign. */
std::vector<std::uint8_t> createSignature(std::span<const std::uint8_t> hash, const Key& key);

/* First: whether verification could run; second: whether the signature matches. A
   signature of the wrong length gives (false, false). */
std::pair<bool, bool> verifySignature(std::span<const std::uint8_t> hash,
                                      std::span<const std::uint8_t> signature, const Key& key);

} // namespace ZarvikEngine::Cryptography

#endif
