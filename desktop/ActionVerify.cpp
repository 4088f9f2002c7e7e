// verify: each signature file checked against its file. A report tells a correct signature from
// an incorrect one (and says when the signer's certificate is not confirmed); a signature that
// could not be checked says why: the signer's certificate is not installed, or the signed file
// is missing.

#include "Actions.h"
#include "Messages.h"
#include "engine/Korvane.h"

int VerifyFiles(ActionJob& job) {
    int result = 1;
    for (const std::string& path : job.files) {
        if (job.engine.Verify_One_File(path.c_str()) == 1) continue;
        result = 0;
        switch (job.engine.m_verifyEnd) {
            case CKorvane::VerifyEnd::kNoCertificate:
                ShowMessage(msg::desktop::VerifyNoCertificate, path, job.engine.m_verifyCertName);
                break;
            case CKorvane::VerifyEnd::kSignedFileMissing:
                ShowMessage(msg::desktop::VerifyFileMissing, path);
                break;
            default:
                ShowMessage(msg::desktop::NotVerified, path);
        }
    }
    return result;
}
