#pragma once
// The question whether a certificate from outside the store (the organisation's directory) is
// the person's: its subject, e-mail address, validity and SHA-256 fingerprint, to be compared
// with its holder. Only the explicit "confirm" button accepts; Enter, Escape, closing the window
// and any other scripted answer (a blanket "yes" included) refuse it.

#include <string>

#include "logon/CertProfile.h"
#include "platform/UiHost.h"

class CertConfirmation : public DialogModel {
public:
    enum : int { kIdConfirm = 1, kIdRefuse = 2 };
    // who: the name the person was chosen by.
    CertConfirmation(std::string who, logon::CertSummary summary);

    std::string Kind() const override { return "certificate"; }
    int TemplateId() const override { return 0; }
    std::string Title() const override;
    std::vector<std::string> Lines() const override;
    std::vector<DialogButton> Buttons() const override;
    int DefaultButton() const override { return kIdRefuse; }
    std::string CancellingAnswer() const override { return "no"; }
    int Press(int id) override { return id == kIdConfirm ? kIdConfirm : kIdRefuse; }
    int Close() override { return kIdRefuse; }

private:
    std::string m_who;
    logon::CertSummary m_summary;
};

// Asks through `host`; true only when the certificate was confirmed.
bool ConfirmCertificate(IUiHost& host, const std::string& who, const logon::CertSummary& summary);
