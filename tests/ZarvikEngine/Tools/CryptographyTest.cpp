#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#define LTM_DESC
#include <tomcrypt.h>

#include "TestHelpers.h"
#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/Tools/Cryptography.h"

namespace ZarvikEngine::Cryptography {
namespace {

std::span<const char> bytes(std::string_view text) {
    return {text.data(), text.size()};
}

/* DER exports of one freshly generated 1024-bit key pair */
struct KeyPair {
    std::vector<char> privateDer, publicDer, subjectPublicKeyInfoDer;
};

std::vector<char> exportKey(rsa_key& key, int type) {
    std::vector<char> der(4096);
    unsigned long size = der.size();
    EXPECT_EQ(rsa_export(reinterpret_cast<unsigned char*>(der.data()), &size, type, &key),
              CRYPT_OK);
    der.resize(size);
    return der;
}

KeyPair generateKeyPair() {
    rsa_key key;
    EXPECT_EQ(rsa_make_key(nullptr, find_prng("sprng"), 1024 / 8, 65537, &key), CRYPT_OK);
    KeyPair pair{exportKey(key, PK_PRIVATE), exportKey(key, PK_PUBLIC),
                 exportKey(key, PK_PUBLIC | PK_STD)};
    rsa_free(&key);
    return pair;
}

/* The DER of a key with one of its numbers changed, as a damaged or forged file gives it */
template<class Change>
std::vector<char> changedKey(const std::vector<char>& der, int type, Change change) {
    rsa_key key;
    EXPECT_EQ(rsa_import(reinterpret_cast<const unsigned char*>(der.data()), der.size(), &key),
              CRYPT_OK);
    change(key);
    std::vector<char> changed = exportKey(key, type);
    rsa_free(&key);
    return changed;
}

/* A 512-bit PKCS #1 private key: too small for PSS with SHA-256 and a 32-byte salt */
std::vector<char> smallPrivateKey() {
    constexpr std::string_view hex =
        "3082013a020100024100eb18018114e63d6051eeff84f54f58fabfcc3ca2f95df4f666e2d7f56225478c2d"
        "89c759c692d03174a6044da63cc67cc36f406079e5b42c7c7f697a2d41801b0203010001024100e14cfd4c"
        "0e926469a5bbed0727ed2632109393dd002caa316602a9c2918f76932b6d36eaf0ccce29b166adfc77bcf8"
        "506e9cd6b186d07512bb2cd29e40ac72c9022100f5e0b62bbd864a1c276b85cae21a0be741dec0d8910638"
        "41ee41eb35593e459f022100f4c5a473d458f914b23597e10c7a79eeeac5c30606ca6d9169b7992221db5c"
        "05022050231d3cc458b06edcaa3ec111504bf0e39726636f610794f582a6968cafaf2102204939cf66ef81"
        "e69230762407a98a026c5d43e8822709ec19727d008cdb801a5902200299ca94d71b8190b686818d9f848a"
        "a8f6453b1ec6fa1c2486dd3b3132a27f18";
    std::vector<char> der;
    for (std::size_t i = 0; i < hex.size(); i += 2)
        der.push_back(char(std::stoi(std::string{hex.substr(i, 2)}, nullptr, 16)));
    return der;
}

TEST(Cryptography, HashesTheStandardVectors) {
    init();
    init(); /* a second call changes nothing */
    EXPECT_EQ(formatHash(hash(bytes("abc"))),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(formatHash(hash(bytes(""))),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(formatHash(hash(bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"))),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    const std::string million(1000000, 'a');
    EXPECT_EQ(formatHash(hash(bytes(million))),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

    const std::uint8_t digits[]{0x00, 0xab, 0x0f, 0xf0};
    EXPECT_EQ(formatHash(digits), "00ab0ff0");
}

TEST(Cryptography, KeysImportFromEveryDerFormAndCompareByTheirPublicPart) {
    init();
    const KeyPair first = generateKeyPair(), second = generateKeyPair();

    const Key privateKey{first.privateDer}, publicKey{first.publicDer},
        subjectPublicKeyInfo{first.subjectPublicKeyInfoDer}, otherPrivate{second.privateDer},
        otherPublic{second.publicDer};
    for (const Key* key : {&privateKey, &publicKey, &subjectPublicKeyInfo})
        EXPECT_EQ(key->size(), 128u);
    EXPECT_TRUE(privateKey.isPrivate());
    EXPECT_FALSE(subjectPublicKeyInfo.isPrivate());

    EXPECT_TRUE(privateKey == publicKey);
    EXPECT_TRUE(publicKey == subjectPublicKeyInfo);
    EXPECT_FALSE(privateKey == otherPrivate);
    EXPECT_FALSE(publicKey == otherPublic);

    /* Rejected bytes leave an invalid key and print nothing */
    std::ostringstream out;
    {
        Debug redirectDebug{&out};
        Warning redirectWarning{&out};
        Error redirectError{&out};
        std::vector<char> truncated = first.privateDer;
        truncated.resize(truncated.size() / 2);
        for (const Key& invalid : {Key{truncated}, Key{bytes("garbage")}, Key{bytes("")}}) {
            EXPECT_FALSE(invalid.isValid());
            EXPECT_EQ(invalid.size(), 0u);
            EXPECT_FALSE(invalid == invalid);
            EXPECT_FALSE(privateKey == invalid);
        }
    }
    EXPECT_EQ(out.str(), "");

    Key moved{first.privateDer};
    Key target{std::move(moved)};
    EXPECT_FALSE(moved.isValid());
    EXPECT_TRUE(target == publicKey);
}

TEST(Cryptography, SignaturesVerifyOnlyWhenNothingChanged) {
    init();
    const KeyPair pair = generateKeyPair(), other = generateKeyPair();
    const Key privateKey{pair.privateDer}, publicKey{pair.subjectPublicKeyInfoDer},
        otherPublic{other.publicDer};

    Hash digest = hash(bytes("published package"));
    std::vector<std::uint8_t> signature = createSignature(digest, privateKey);
    ASSERT_EQ(signature.size(), privateKey.size());
    EXPECT_EQ(verifySignature(digest, signature, publicKey), std::pair(true, true));
    EXPECT_EQ(verifySignature(digest, signature, privateKey), std::pair(true, true));
    /* Under the wrong key or with any byte of the signature changed the recovered padding is
       malformed, which the library reports as an error rather than a mismatch */
    EXPECT_EQ(verifySignature(digest, signature, otherPublic), std::pair(false, false));

    /* The salt is random, so signing again gives different bytes */
    EXPECT_NE(createSignature(digest, privateKey), signature);

    for (std::uint8_t& byte : digest) {
        byte ^= 0x01;
        EXPECT_EQ(verifySignature(digest, signature, publicKey), std::pair(true, false));
        byte ^= 0x01;
    }
    for (std::uint8_t& byte : signature) {
        byte ^= 0x80;
        EXPECT_EQ(verifySignature(digest, signature, publicKey), std::pair(false, false));
        byte ^= 0x80;
    }
    EXPECT_EQ(verifySignature(digest, signature, publicKey), std::pair(true, true));

    const std::span<const std::uint8_t> shorter{signature.data(), signature.size() - 1};
    EXPECT_EQ(verifySignature(digest, shorter, publicKey), std::pair(false, false));
    signature.push_back(0);
    EXPECT_EQ(verifySignature(digest, signature, publicKey), std::pair(false, false));
}

TEST(Cryptography, KeysThatCannotSignOrVerifyAreRejectedWhenRead) {
    init();
    const KeyPair pair = generateKeyPair();
    ASSERT_TRUE(Key{pair.privateDer}.isValid());
    std::vector<std::vector<char>> rejected{
        /* Too small to hold a signature of a SHA-256 digest with a 32-byte salt */
        smallPrivateKey(),
        changedKey(smallPrivateKey(), PK_PUBLIC, [](rsa_key&) {}),
        /* Public exponents of 0, 1 and an even one */
        changedKey(pair.publicDer, PK_PUBLIC, [](rsa_key& key) { ltc_mp.set_int(key.e, 0); }),
        changedKey(pair.publicDer, PK_PUBLIC, [](rsa_key& key) { ltc_mp.set_int(key.e, 1); }),
        changedKey(pair.publicDer, PK_PUBLIC | PK_STD,
                   [](rsa_key& key) { ltc_mp.set_int(key.e, 65536); }),
        /* An even modulus */
        changedKey(pair.publicDer, PK_PUBLIC, [](rsa_key& key) { ltc_mp.addi(key.N, 1, key.N); }),
    };
    /* Private parts that disagree: each one changed on its own */
    for (void* rsa_key::*part :
         {&rsa_key::d, &rsa_key::p, &rsa_key::q, &rsa_key::dP, &rsa_key::dQ, &rsa_key::qP})
        rejected.push_back(changedKey(pair.privateDer, PK_PRIVATE,
                                      [&](rsa_key& key) { ltc_mp.addi(key.*part, 2, key.*part); }));
    for (const std::vector<char>& der : rejected)
        EXPECT_FALSE(Key{der}.isValid());

    /* Unchanged numbers written again read back as usable */
    EXPECT_TRUE(Key{changedKey(pair.privateDer, PK_PRIVATE, [](rsa_key&) {})}.isValid());
}

TEST(CryptographyDeathTest, ProgrammingErrorsAbort) {
    /* The death test runs in a fresh process, where nothing is initialized yet */
    ZE_EXPECT_ABORT(hash(bytes("abc")), "Hash not initialized. Did you forget to call init()?");
    init();
    ZE_EXPECT_ABORT(hash(std::span<const char>{}), "View must have a valid pointer");
    ZE_EXPECT_ABORT(Key{std::span<const char>{}}, "View must have a valid pointer");

    const KeyPair pair = generateKeyPair();
    const Key privateKey{pair.privateDer}, publicKey{pair.publicDer}, invalid;

    const Hash digest = hash(bytes("abc"));
    const std::span<const std::uint8_t> shortDigest{digest.data(), 31};
    const std::vector<std::uint8_t> signature(privateKey.size());
    ZE_EXPECT_ABORT(createSignature(shortDigest, privateKey),
                    "Expected hash of size 32 but got 31");
    ZE_EXPECT_ABORT(createSignature(digest, invalid), "Expected valid key");
    ZE_EXPECT_ABORT(createSignature(digest, publicKey), "Expected private key");
    ZE_EXPECT_ABORT(verifySignature(shortDigest, signature, privateKey),
                    "Expected hash of size 32 but got 31");
    ZE_EXPECT_ABORT(verifySignature(digest, signature, invalid), "Expected valid key");
}

} // namespace
} // namespace ZarvikEngine::Cryptography
