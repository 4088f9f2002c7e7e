#include "CertConfirmation.h"

#include "Messages.h"

CertConfirmation::CertConfirmation(std::string who, logon::CertSummary summary)
    : m_who(std::move(who)), m_summary(std::move(summary)) {}

std::string CertConfirmation::Title() const { return MessageText(msg::desktop::CertConfirmTitle); }

std::vector<std::string> CertConfirmation::Lines() const {
    const logon::CertSummary& s = m_summary;
    return {MessageText(msg::desktop::CertConfirmIntro, m_who),
            MessageText(msg::desktop::CertConfirmDetails, s.subject, s.email, s.notBefore, s.notAfter, s.fingerprint)};
}

std::vector<DialogButton> CertConfirmation::Buttons() const {
    return {{kIdConfirm, MessageText(msg::desktop::CertConfirmButton), "confirm"},
            {kIdRefuse, MessageText(msg::desktop::CertRefuseButton), "no"}};
}

bool ConfirmCertificate(IUiHost& host, const std::string& who, const logon::CertSummary& summary) {
    CertConfirmation question(who, summary);
    return host.RunDialog(question) == CertConfirmation::kIdConfirm;
}
