#include "engine/Identifiers.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

bool IsSupportedCipher(int id) {
    return std::find(std::begin(kSupportedCiphers), std::end(kSupportedCiphers), id) != std::end(kSupportedCiphers);
}

bool IsSupportedDigest(int id) {
    return std::find(std::begin(kSupportedDigests), std::end(kSupportedDigests), id) != std::end(kSupportedDigests);
}

int ChooseCipher(int preferred) { return IsSupportedCipher(preferred) ? preferred : kSupportedCiphers[0]; }

int ChooseDigest(const std::string& signIdSetting) {
    int id = std::atoi(signIdSetting.c_str());
    return IsSupportedDigest(id) ? id : kSupportedDigests[0];
}

int CipherKeyLength(int id) {
    switch (id) {
        case kCipherDesOfb:
        case kCipherIsaCard:
            return 8;
        case kCipherIdeaOfb:
        case kCipherDesEdeOfb:
        case kCipherPciCard:
            return 16;
        case kCipherFurtherCard:
            return 20;
        default:
            return 0;
    }
}

int CipherIvLength(int id) { return CipherKeyLength(id) > 0 ? 8 : 0; }

extern "C" int GetFerrowEncryptAlgorithm() { return kCipherIdeaOfb; }
