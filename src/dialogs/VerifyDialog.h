#pragma once
// The report of a signature check: the verdict, who signed and when, the file's state when it
// was signed and its state now.

#include <cstdint>
#include <string>

#include "dialogs/Messages.h"
#include "engine/SignerProof.h"
#include "platform/UiHost.h"

// What the report shows of a signature record.
struct VerifyRecord {
    std::string filePath;  // the file actually checked
    std::string signerName;
    std::string signTime;    // 14-digit time text
    std::string modifyTime;  // the file's modification time when signed, 14 digits
    uint32_t size = 0;       // the file's size when signed
    std::string userId{};    // the signer's user ID as the record holds it
    SignerProof proof{};     // the certificate that checked the signature, when it was correct
    // That certificate's confirmation in the store (a kCert* answer); 0 (unknown) when not
    // asked, as for a bare digest.
    int certState = 0;
};

class CDlgVerify : public DialogModel {
public:
    // verdict: 1 the signature is correct, 0 it is not. Reads the file's present state now,
    // as the dialog does when it opens; if the file cannot be opened, shows "打开文件失败.\n%s"
    // and leaves the present-state lines out.
    CDlgVerify(const VerifyRecord& record, int verdict);

    std::string Kind() const override { return "verify"; }
    int TemplateId() const override { return 6006; }
    std::string Title() const override { return MessageText(msg::dialogs::VerifyTitle); }
    std::vector<std::string> Lines() const override;
    std::vector<DialogButton> Buttons() const override { return {{1, MessageText(msg::dialogs::Ok), "ok"}}; }
    std::string CancellingAnswer() const override { return "ok"; }
    int Press(int) override { return 1; }
    int Close() override { return 2; }

    int Verdict() const { return m_verdict; }
    const VerifyRecord& Record() const { return m_record; }
    const std::string& ResultLine() const { return m_result; }
    const std::string& SignerLine() const { return m_signer; }
    const std::string& TimeLine() const { return m_time; }
    // The text area, lines separated by "\r\n".
    const std::string& Text() const { return m_text; }

private:
    VerifyRecord m_record;
    int m_verdict;
    std::string m_result, m_signer, m_time, m_text;
};
