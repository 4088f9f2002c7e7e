#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "TestLogon.h"
#include "TestModules.h"
#include "drivers/Mqk21.h"
#include "engine/EngineBytes.h"
#include "engine/Korvane.h"
#include "platform/Module.h"

namespace {

// Installs simulated driver modules under their real names in a folder of their own and points
// the module path at it for the test's duration.
class CardTest : public LogonHostTest {
protected:
    CardTest() { logon.SetIsaCardState(1); }

    // Makes `simulated` answer as module `name`; the test keeps it loaded to reach its controls.
    void Install(const std::string& name, const std::string& simulated) {
        modules.Install(name, simulated);
        ASSERT_TRUE(control.Load(name));
    }
    template <typename Fn>
    Fn Control(const char* name) {
        auto fn = control.Proc<Fn>(name);
        EXPECT_NE(fn, nullptr) << name;
        return fn;
    }

    // One encryption (or decryption) of 64 bytes in place through cipher `id`: the results of
    // its init, update and final, one digit each. A failed init ends the run; a failed update is
    // followed by the final all the same.
    std::string Run(CKorvane& engine, bool encrypt, int id) {
        Bytes buf = Data(64, 3);
        int n = 0;
        std::string steps = std::to_string(encrypt ? engine.Evp_EncryptInit(key.data(), iv.data(), id)
                                                   : engine.Evp_DecryptInit(key.data(), iv.data(), id));
        if (steps == "0") return steps;
        steps += std::to_string(encrypt ? engine.Evp_EncryptUpdate(buf.data(), &n, buf.data(), 64)
                                        : engine.Evp_DecryptUpdate(buf.data(), &n, buf.data(), 64));
        return steps + std::to_string(encrypt ? engine.Evp_EncryptFinalEx(buf.data(), &n)
                                              : engine.Evp_DecryptFinal(buf.data(), &n));
    }
    Bytes Through(CKorvane& engine, bool encrypt, int id, const Bytes& in, const std::vector<size_t>& pieces,
                  std::vector<int>* produced = nullptr, bool inPlace = false) {
        return RunFrame(engine, encrypt, id, key, iv, in, pieces, produced, inPlace);
    }
    // A status forced on one entry point of a card, the direction run and what it must give.
    struct Failure {
        const char* entry;
        int64_t status;
        bool encrypt;
        std::string steps;    // as Run answers them
        std::string message;  // the one message shown; empty: none
    };

    ScopedModules modules;
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
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"engine.PciLibraryMissing"});
    EXPECT_EQ(Control<int (*)()>("SimTrv88OpenSessions")(), 0);
}

TEST_F(PciCardTest, RoundTripsInPlaceAndClosesEverySession) {
    Bytes plain = Data(1000, 1);
    std::vector<int> produced;
    Bytes cipher = Through(engine, true, 120, plain, {333, 667}, &produced, true);
    EXPECT_EQ(produced, (std::vector<int>{333, 667, 0}));
    EXPECT_NE(cipher, plain);
    EXPECT_EQ(Through(engine, false, 120, cipher, {1000}, nullptr, true), plain);
    EXPECT_EQ(OpenSessions(), 0);
    EXPECT_EQ(OpenOperations(), 0);
    EXPECT_TRUE(host.Messages().empty());
}

// Every failure of the card shows its own text for its direction, once, and closes the session
// it opened; a final after a failed update adds nothing.
TEST_F(PciCardTest, EveryFailureShowsItsTextOnceAndClosesTheSession) {
    const Failure failures[] = {
        {"TRV88Init", 0x20B10001, true, "0", "未安装TRV88数据安全卡驱动程序, 不能加密."},
        {"TRV88Init", 0x20B10001, false, "0", "未安装TRV88数据安全卡驱动程序, 不能解密."},
        {"TRV88Init", 0x20A10002, true, "0", "未找到TRV88数据安全卡, 不能加密."},
        {"TRV88Init", 0x20A10002, false, "0", "未找到TRV88数据安全卡, 不能解密."},
        {"TRV88Init", 0x20B10007, true, "0", "TRV88数据安全卡最多同时支持10个加解密进程，请稍后再加密。"},
        {"TRV88Init", 0x20B10007, false, "0", "TRV88数据安全卡最多同时支持10个加解密进程，请稍后再解密。"},
        {"TRV88Init", 0x1234, true, "0", "TRV88数据安全卡初始化加密失败(TRV88Init()), 出错代码: 0x1234"},
        {"TRV88Init", 0x1234, false, "0", "TRV88数据安全卡初始化解密失败(TRV88Init()), 出错代码: 0x1234"},
        {"TRV88EncryptInit", 0x20A10002, true, "0", "未找到TRV88数据安全卡, 不能加密."},
        {"TRV88EncryptInit", 0xBEEF, true, "0", "TRV88数据安全卡初始化加密失败, 出错代码: 0xbeef"},
        {"TRV88DecryptInit", 0x20A10002, false, "0",
         "TRV88数据安全卡初始化解密失败(TRV88DecryptInit()), 出错代码: 0x20a10002"},
        {"TRV88EncryptUpdate", 0x77, true, "100", "TRV88数据安全卡加密失败(TRV88EncryptUpdate()), 出错代码:0x77"},
        {"TRV88DecryptUpdate", 0x77, false, "100", "TRV88数据安全卡解密失败(TRV88DecryptUpdate()), 出错代码: 0x77"},
        {"TRV88EncryptFinal", 0x99, true, "110", "TRV88数据安全卡加密失败(TRV88EncryptFinal()), 出错代码 : 0x99。"},
        {"TRV88EncryptFinal", 0x99, false, "110", "TRV88数据安全卡解密失败(TRV88EncryptFinal(), 出错代码: 0x99"},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(std::string(f.entry) + (f.encrypt ? " encrypting" : " decrypting"));
        Control<void (*)()>("SimTrv88Reset")();
        Force(f.entry, static_cast<uint32_t>(f.status));
        host.Clear();
        EXPECT_EQ(Run(engine, f.encrypt, 120), f.steps);
        EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{f.message});
        EXPECT_EQ(OpenSessions(), 0);
        EXPECT_EQ(OpenOperations(), 0);
    }
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

// The card sees whole 8-byte blocks only: what is short of a block waits, and the tail goes
// through the cipher driver under the key doubled.
TEST_F(IsaCardTest, WholeBlocksGoThroughTheCardAndTheTailThroughTheCipherDriver) {
    Bytes plain = Data(20, 6);
    std::vector<int> produced;
    Bytes cipher = Through(engine, true, 121, plain, {5, 2, 13}, &produced);
    EXPECT_EQ(produced, (std::vector<int>{0, 0, 16, 4}));
    EXPECT_EQ(Lengths(), (std::vector<int>{8, 8})) << "the card never sees a partial block";
    EXPECT_EQ(Through(engine, false, 121, cipher, {20}), plain);

    unsigned char tailKey[16];
    std::memcpy(tailKey, key.data(), 8);
    std::memcpy(tailKey + 8, key.data(), 8);
    intptr_t h = 0;
    Bytes tail = Data(7, 5), expected(7);
    int n = 0;
    ASSERT_EQ(Mqk21EncryptInit(2, 1, tailKey, 16, &h), 0);
    ASSERT_EQ(Mqk21EncryptUpdate(h, tail.data(), 7, expected.data(), &n), 0);
    Mqk21EncryptFinal(h);
    EXPECT_EQ(Through(engine, true, 121, tail, {7}), expected);
    EXPECT_EQ(OpenCards(), 0);
}

// In place too: what waits for a whole block makes the card's output run ahead of the input.
TEST_F(IsaCardTest, RoundTripsHoweverTheStreamIsSplitAndInPlace) {
    for (size_t length : {0, 1, 8, 15, 16, 17, 45, 100}) {
        Bytes plain = Data(length, static_cast<unsigned>(length));
        Bytes whole = Through(engine, true, 121, plain, {length});
        for (size_t chunk : {1, 3, 7, 8, 9, 13}) {
            std::vector<size_t> pieces;
            for (size_t at = 0; at < length; at += chunk) pieces.push_back(std::min(chunk, length - at));
            for (bool inPlace : {false, true}) {
                SCOPED_TRACE(std::to_string(length) + "/" + std::to_string(chunk) + (inPlace ? " in place" : ""));
                EXPECT_EQ(Through(engine, true, 121, plain, pieces, nullptr, inPlace), whole);
                EXPECT_EQ(Through(engine, false, 121, whole, pieces, nullptr, inPlace), plain);
            }
        }
    }
    EXPECT_EQ(OpenCards(), 0);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(IsaCardTest, CardFailuresShowTheirTextOnceAndCloseTheCard) {
    const Failure failures[] = {
        {"IsaCardEncrypt", -3, true, "100", "ISA卡加密失败。"},
        {"IsaCardDecrypt", -3, false, "100", "ISA卡解密失败。"},
        {"IsaCardClose", 5, true, "110", "ISA卡加密失败。"},
        {"IsaCardClose", 5, false, "111", ""},  // a decryption is complete whatever the close says
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(std::string(f.entry) + (f.encrypt ? " encrypting" : " decrypting"));
        Control<void (*)()>("SimIsaReset")();
        Control<void (*)(const char*, int)>("SimIsaSetStatus")(f.entry, static_cast<int>(f.status));
        host.Clear();
        EXPECT_EQ(Run(engine, f.encrypt, 121), f.steps);
        EXPECT_EQ(host.MessageTexts(), f.message.empty() ? std::vector<std::string>{} : std::vector{f.message});
        EXPECT_EQ(OpenCards(), 0);
    }
}

TEST_F(IsaCardTest, TwoEnginesFinishWithTheirOwnTailKeys) {
    CKorvane other;
    Bytes a = Data(13, 1), b = Data(13, 2), keyB = Data(16, 99);
    Bytes expectA = Through(engine, true, 121, a, {13});
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
