#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "TestLogon.h"
#include "drivers/Mqk21.h"
#include "engine/Korvane.h"
#include "platform/Module.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Data(size_t n, unsigned seed) {
    std::string s = RandomBytes(n, seed);
    return Bytes(s.begin(), s.end());
}

// Installs simulated driver modules under their real names in a folder of their own and points
// the module path at it for the test's duration.
class CardTest : public LogonHostTest {
protected:
    CardTest() {
        const char* old = std::getenv("VARNEX_MODULE_PATH");
        if (old) oldPath = old;
        setenv("VARNEX_MODULE_PATH", modules.Path().c_str(), 1);
        logon.SetIsaCardState(1);
    }
    ~CardTest() override {
        if (oldPath.empty())
            unsetenv("VARNEX_MODULE_PATH");
        else
            setenv("VARNEX_MODULE_PATH", oldPath.c_str(), 1);
    }

    // Makes `simulated` answer as module `name`; the test keeps it loaded to reach its controls.
    void Install(const std::string& name, const std::string& simulated) {
        std::filesystem::create_symlink(std::string(VARNEX_TEST_MODULE_DIR) + "/" + simulated + ".so",
                                        modules / (name + ".so"));
        ASSERT_TRUE(control.Load(name));
    }
    template <typename Fn>
    Fn Control(const char* name) {
        auto fn = control.Proc<Fn>(name);
        EXPECT_NE(fn, nullptr) << name;
        return fn;
    }

    TempDir modules;
    std::string oldPath;
    CModule control;
    Bytes key = Data(16, 21), iv = Data(8, 22);
};

class PciCardTest : public CardTest {
protected:
    void SetUp() override {
        Install("trv88", "sim_trv88");
        Control<void (*)()>("SimTrv88Reset")();
    }
    void Force(const char* entry, uint32_t status) {
        Control<void (*)(const char*, uint32_t)>("SimTrv88SetStatus")(entry, status);
    }
    int OpenSessions() { return Control<int (*)()>("SimTrv88OpenSessions")(); }
    int OpenOperations() { return Control<int (*)()>("SimTrv88OpenOperations")(); }

    CKorvane engine;
};

class IsaCardTest : public CardTest {
protected:
    void SetUp() override {
        Install("isacard", "sim_isacard");
        Control<void (*)()>("SimIsaReset")();
    }
    int OpenCards() { return Control<int (*)()>("SimIsaOpenCards")(); }
    std::vector<int> Lengths() {
        std::vector<int> out;
        int n = Control<int (*)()>("SimIsaLengthCount")();
        for (int i = 0; i < n; ++i) out.push_back(Control<int (*)(int)>("SimIsaLength")(i));
        return out;
    }

    // Encrypts (or decrypts) `in` in updates of the given sizes; the output and each update's
    // produced length.
    Bytes Through(CKorvane& engine, bool encrypt, const Bytes& in, const std::vector<size_t>& pieces,
                  std::vector<int>* produced = nullptr) {
        Bytes out(in.size() + 16);
        EXPECT_EQ(encrypt ? engine.Evp_EncryptInit(key.data(), iv.data(), 121)
                          : engine.Evp_DecryptInit(key.data(), iv.data(), 121),
                  1);
        size_t at = 0, written = 0;
        for (size_t piece : pieces) {
            int n = -1;
            EXPECT_EQ(encrypt
                          ? engine.Evp_EncryptUpdate(out.data() + written, &n, in.data() + at, static_cast<int>(piece))
                          : engine.Evp_DecryptUpdate(out.data() + written, &n, in.data() + at, static_cast<int>(piece)),
                      1);
            if (produced) produced->push_back(n);
            at += piece;
            written += static_cast<size_t>(n);
        }
        int n = -1;
        EXPECT_EQ(encrypt ? engine.Evp_EncryptFinalEx(out.data() + written, &n)
                          : engine.Evp_DecryptFinal(out.data() + written, &n),
                  1);
        if (produced) produced->push_back(n);
        out.resize(written + static_cast<size_t>(n));
        return out;
    }

    CKorvane engine;
};

}  // namespace

// ---- PCI card -------------------------------------------------------------------------------

TEST_F(CardTest, NoDriverModulesMeansNoCards) {
    CKorvane engine;
    logon.SetIsaCardState(2);
    EXPECT_EQ(engine.Evp_EncryptInit(key.data(), iv.data(), 120), 0);
    EXPECT_EQ(engine.Evp_DecryptInit(key.data(), iv.data(), 120), 0);
    EXPECT_EQ(engine.Evp_EncryptInit(key.data(), iv.data(), 121), 0);
    EXPECT_EQ(host.MessageTexts(),
              (std::vector<std::string>{"未安装TRV88数据安全卡驱动库", "未安装TRV88数据安全卡驱动库",
                                        "系统未检测到ISA加密卡。"}));
}

TEST_F(CardTest, PciDriverLackingAnyEntryPointIsRefusedForEncryptionToo) {
    Install("trv88", "sim_trv88_partial");
    CKorvane engine;
    EXPECT_EQ(engine.Evp_EncryptInit(key.data(), iv.data(), 120), 0);
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{"未安装TRV88数据安全卡驱动库"});
    EXPECT_EQ(Control<int (*)()>("SimTrv88OpenSessions")(), 0);
}

TEST_F(PciCardTest, RoundTripsAndClosesEverySession) {
    Bytes plain = Data(1000, 1);
    Bytes cipher(1000), back(1000);
    int n = 0, m = 0;
    ASSERT_EQ(engine.Evp_EncryptInit(key.data(), iv.data(), 120), 1);
    ASSERT_EQ(engine.Evp_EncryptUpdate(cipher.data(), &n, plain.data(), 333), 1);
    ASSERT_EQ(n, 333);
    ASSERT_EQ(engine.Evp_EncryptUpdate(cipher.data() + 333, &n, plain.data() + 333, 667), 1);
    ASSERT_EQ(n, 667);
    EXPECT_EQ(OpenSessions(), 1);
    ASSERT_EQ(engine.Evp_EncryptFinalEx(cipher.data() + 1000, &m), 1);
    EXPECT_EQ(m, 0);
    EXPECT_NE(cipher, plain);

    ASSERT_EQ(engine.Evp_DecryptInit(key.data(), iv.data(), 120), 1);
    back = cipher;
    ASSERT_EQ(engine.Evp_DecryptUpdate(back.data(), &n, back.data(), 1000), 1) << "in place";
    ASSERT_EQ(engine.Evp_DecryptFinal(back.data() + 1000, &m), 1);
    EXPECT_EQ(back, plain);
    EXPECT_EQ(OpenSessions(), 0);
    EXPECT_EQ(OpenOperations(), 0);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(PciCardTest, SessionStatusesHaveTheirOwnTextsPerDirection) {
    const uint32_t codes[] = {0x20B10001, 0x20A10002, 0x20B10007, 0x1234};
    for (uint32_t code : codes) {
        Force("TRV88Init", code);
        EXPECT_EQ(engine.Evp_EncryptInit(key.data(), iv.data(), 120), 0);
        EXPECT_EQ(engine.Evp_DecryptInit(key.data(), iv.data(), 120), 0);
    }
    EXPECT_EQ(host.MessageTexts(), (std::vector<std::string>{
                                       "未安装TRV88数据安全卡驱动程序, 不能加密.",
                                       "未安装TRV88数据安全卡驱动程序, 不能解密.",
                                       "未找到TRV88数据安全卡, 不能加密.",
                                       "未找到TRV88数据安全卡, 不能解密.",
                                       "TRV88数据安全卡最多同时支持10个加解密进程，请稍后再加密。",
                                       "TRV88数据安全卡最多同时支持10个加解密进程，请稍后再解密。",
                                       "TRV88数据安全卡初始化加密失败(TRV88Init()), 出错代码: 0x1234",
                                       "TRV88数据安全卡初始化解密失败(TRV88Init()), 出错代码: 0x1234",
                                   }));
}

TEST_F(PciCardTest, OperationInitFailuresCloseTheSessionTheyOpened) {
    Force("TRV88EncryptInit", 0x20A10002);
    EXPECT_EQ(engine.Evp_EncryptInit(key.data(), iv.data(), 120), 0);
    Force("TRV88EncryptInit", 0xBEEF);
    EXPECT_EQ(engine.Evp_EncryptInit(key.data(), iv.data(), 120), 0);
    Force("TRV88DecryptInit", 0x20A10002);
    EXPECT_EQ(engine.Evp_DecryptInit(key.data(), iv.data(), 120), 0);
    EXPECT_EQ(host.MessageTexts(), (std::vector<std::string>{
                                       "未找到TRV88数据安全卡, 不能加密.",
                                       "TRV88数据安全卡初始化加密失败, 出错代码: 0xbeef",
                                       "TRV88数据安全卡初始化解密失败(TRV88DecryptInit()), 出错代码: 0x20a10002",
                                   }));
    EXPECT_EQ(OpenSessions(), 0);
}

TEST_F(PciCardTest, FailedUpdateClosesTheSessionAndTheFinalAddsNothing) {
    Bytes buf = Data(64, 3);
    int n = 0;
    for (bool encrypt : {true, false}) {
        Force(encrypt ? "TRV88EncryptUpdate" : "TRV88DecryptUpdate", 0x77);
        ASSERT_EQ(encrypt ? engine.Evp_EncryptInit(key.data(), iv.data(), 120)
                          : engine.Evp_DecryptInit(key.data(), iv.data(), 120),
                  1);
        EXPECT_EQ(encrypt ? engine.Evp_EncryptUpdate(buf.data(), &n, buf.data(), 64)
                          : engine.Evp_DecryptUpdate(buf.data(), &n, buf.data(), 64),
                  0);
        EXPECT_EQ(OpenSessions(), 0);
        EXPECT_EQ(OpenOperations(), 0);
        EXPECT_EQ(encrypt ? engine.Evp_EncryptFinalEx(buf.data(), &n) : engine.Evp_DecryptFinal(buf.data(), &n), 0);
    }
    EXPECT_EQ(host.MessageTexts(), (std::vector<std::string>{
                                       "TRV88数据安全卡加密失败(TRV88EncryptUpdate()), 出错代码:0x77",
                                       "TRV88数据安全卡解密失败(TRV88DecryptUpdate()), 出错代码: 0x77",
                                   }));
}

TEST_F(PciCardTest, FailedFinalIsShownAndStillEndsTheSession) {
    Force("TRV88EncryptFinal", 0x99);
    int n = 0;
    unsigned char out[8];
    ASSERT_EQ(engine.Evp_EncryptInit(key.data(), iv.data(), 120), 1);
    EXPECT_EQ(engine.Evp_EncryptFinalEx(out, &n), 0);
    ASSERT_EQ(engine.Evp_DecryptInit(key.data(), iv.data(), 120), 1);
    EXPECT_EQ(engine.Evp_DecryptFinal(out, &n), 0);
    EXPECT_EQ(host.MessageTexts(), (std::vector<std::string>{
                                       "TRV88数据安全卡加密失败(TRV88EncryptFinal()), 出错代码 : 0x99。",
                                       "TRV88数据安全卡解密失败(TRV88EncryptFinal(), 出错代码: 0x99",
                                   }));
    EXPECT_EQ(OpenSessions(), 0);
}

TEST_F(PciCardTest, EleventhProcessIsRefusedAndAbandonedSessionsCloseWithTheirEngine) {
    {
        std::vector<std::unique_ptr<CKorvane>> engines;
        for (int i = 0; i < 10; ++i) {
            engines.push_back(std::make_unique<CKorvane>());
            ASSERT_EQ(engines.back()->Evp_EncryptInit(key.data(), iv.data(), 120), 1);
        }
        EXPECT_EQ(engine.Evp_EncryptInit(key.data(), iv.data(), 120), 0);
        EXPECT_EQ(host.MessageTexts(),
                  std::vector<std::string>{"TRV88数据安全卡最多同时支持10个加解密进程，请稍后再加密。"});
    }
    EXPECT_EQ(OpenSessions(), 0);
    EXPECT_EQ(OpenOperations(), 0);
}

// ---- ISA card -------------------------------------------------------------------------------

TEST_F(IsaCardTest, RefusedOpensHaveTheirTexts) {
    logon.SetIsaCardState(0);
    EXPECT_EQ(engine.Evp_EncryptInit(key.data(), iv.data(), 121), 0);
    EXPECT_EQ(engine.Evp_DecryptInit(key.data(), iv.data(), 121), 0);
    logon.SetIsaCardState(2);
    Control<void (*)(int)>("SimIsaSetOpenResult")(0);
    EXPECT_EQ(engine.Evp_EncryptInit(key.data(), iv.data(), 121), 0);
    Control<void (*)(int)>("SimIsaSetOpenResult")(-4);
    EXPECT_EQ(engine.Evp_DecryptInit(key.data(), iv.data(), 121), 0);
    EXPECT_EQ(host.MessageTexts(), (std::vector<std::string>{"初始化ISA加密卡失败。", "初始化ISA解密卡失败。",
                                                             "系统未检测到ISA加密卡。", "初始化ISA解密卡失败。"}));
}

TEST_F(IsaCardTest, ShortUpdatesWaitAndTheTailGoesThroughTheCipherDriver) {
    Bytes plain = Data(7, 5);
    std::vector<int> produced;
    Bytes cipher = Through(engine, true, plain, {5, 2}, &produced);
    EXPECT_EQ(produced, (std::vector<int>{0, 0, 7}));
    EXPECT_TRUE(Lengths().empty()) << "the card never sees a partial block";

    unsigned char tailKey[16];
    std::memcpy(tailKey, key.data(), 8);
    std::memcpy(tailKey + 8, key.data(), 8);
    intptr_t h = 0;
    Bytes expected(7);
    int n = 0;
    ASSERT_EQ(Mqk21EncryptInit(2, 1, tailKey, 16, &h), 0);
    ASSERT_EQ(Mqk21EncryptUpdate(h, plain.data(), 7, expected.data(), &n), 0);
    Mqk21EncryptFinal(h);
    EXPECT_EQ(cipher, expected);
    EXPECT_EQ(Through(engine, false, cipher, {7}), plain);
    EXPECT_EQ(OpenCards(), 0);
}

TEST_F(IsaCardTest, WholeBlocksGoThroughTheCardAndTheRestWaits) {
    Bytes plain = Data(20, 6);
    std::vector<int> produced;
    Bytes cipher = Through(engine, true, plain, {20}, &produced);
    EXPECT_EQ(produced, (std::vector<int>{16, 4}));
    EXPECT_EQ(Lengths(), (std::vector<int>{8, 8}));
    EXPECT_EQ(Through(engine, false, cipher, {20}), plain);
}

TEST_F(IsaCardTest, RoundTripsHoweverTheStreamIsSplit) {
    for (size_t length : {0, 1, 8, 15, 16, 17, 100}) {
        Bytes plain = Data(length, static_cast<unsigned>(length));
        Bytes whole = Through(engine, true, plain, {length});
        for (size_t chunk : {1, 3, 7, 8, 9, 13}) {
            std::vector<size_t> pieces;
            for (size_t at = 0; at < length; at += chunk) pieces.push_back(std::min(chunk, length - at));
            EXPECT_EQ(Through(engine, true, plain, pieces), whole) << length << "/" << chunk;
            EXPECT_EQ(Through(engine, false, whole, pieces), plain) << length << "/" << chunk;
        }
    }
    EXPECT_EQ(OpenCards(), 0);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(IsaCardTest, InPlaceUpdatesKeepTheStreamInOrder) {
    Bytes plain = Data(45, 8);
    Bytes expected = Through(engine, true, plain, {45});
    Bytes buffer(64);
    std::copy(plain.begin(), plain.end(), buffer.begin());
    ASSERT_EQ(engine.Evp_EncryptInit(key.data(), iv.data(), 121), 1);
    int n1 = 0, n2 = 0, n3 = 0;
    // 3 bytes wait, then 42 bytes in place: the card's blocks run 3 bytes ahead of the input.
    ASSERT_EQ(engine.Evp_EncryptUpdate(buffer.data(), &n1, buffer.data(), 3), 1);
    Bytes second(buffer.begin() + 3, buffer.begin() + 45);
    std::copy(second.begin(), second.end(), buffer.begin());
    ASSERT_EQ(engine.Evp_EncryptUpdate(buffer.data(), &n2, buffer.data(), 42), 1);
    ASSERT_EQ(engine.Evp_EncryptFinalEx(buffer.data() + n2, &n3), 1);
    EXPECT_EQ(n1 + n2 + n3, 45);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 45), expected);
}

TEST_F(IsaCardTest, CardFailuresCloseTheCard) {
    Bytes buf = Data(32, 9);
    Bytes out(48);
    int n = 0;
    Control<void (*)(const char*, int)>("SimIsaSetStatus")("IsaCardEncrypt", -3);
    Control<void (*)(const char*, int)>("SimIsaSetStatus")("IsaCardDecrypt", -3);
    ASSERT_EQ(engine.Evp_EncryptInit(key.data(), iv.data(), 121), 1);
    EXPECT_EQ(engine.Evp_EncryptUpdate(out.data(), &n, buf.data(), 32), 0);
    EXPECT_EQ(engine.Evp_EncryptFinalEx(out.data(), &n), 0);
    ASSERT_EQ(engine.Evp_DecryptInit(key.data(), iv.data(), 121), 1);
    EXPECT_EQ(engine.Evp_DecryptUpdate(out.data(), &n, buf.data(), 32), 0);
    EXPECT_EQ(OpenCards(), 0);
    EXPECT_EQ(host.MessageTexts(), (std::vector<std::string>{"ISA卡加密失败。", "ISA卡解密失败。"}));
    host.Clear();

    Control<void (*)()>("SimIsaReset")();
    Control<void (*)(const char*, int)>("SimIsaSetStatus")("IsaCardClose", 5);
    ASSERT_EQ(engine.Evp_EncryptInit(key.data(), iv.data(), 121), 1);
    EXPECT_EQ(engine.Evp_EncryptFinalEx(out.data(), &n), 0);
    ASSERT_EQ(engine.Evp_DecryptInit(key.data(), iv.data(), 121), 1);
    EXPECT_EQ(engine.Evp_DecryptFinal(out.data(), &n), 1) << "a decryption is complete whatever the close says";
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{"ISA卡加密失败。"});
}

TEST_F(IsaCardTest, TwoEnginesFinishWithTheirOwnTailKeys) {
    CKorvane other;
    Bytes a = Data(13, 1), b = Data(13, 2), keyB = Data(16, 99);
    Bytes expectA = Through(engine, true, a, {13});
    Bytes outA(32), outB(32);
    int n = 0, m = 0, t = 0;
    ASSERT_EQ(engine.Evp_EncryptInit(key.data(), iv.data(), 121), 1);
    ASSERT_EQ(engine.Evp_EncryptUpdate(outA.data(), &n, a.data(), 13), 1);
    ASSERT_EQ(other.Evp_EncryptInit(keyB.data(), iv.data(), 121), 1);  // opened last
    ASSERT_EQ(other.Evp_EncryptUpdate(outB.data(), &m, b.data(), 13), 1);
    ASSERT_EQ(engine.Evp_EncryptFinalEx(outA.data() + n, &t), 1);
    outA.resize(static_cast<size_t>(n + t));
    EXPECT_EQ(outA, expectA);
    ASSERT_EQ(other.Evp_EncryptFinalEx(outB.data() + m, &t), 1);
}
