// Mail packages stream their files' contents through the package layer's content stream: the
// same read-ahead, cipher, CRC and digest as secured packages, with the mail layout's texts.
// A content starts within the packages' limit, as everywhere; its end is a 32-bit offset too.

#include "mail/MailEncrypt.h"
#include "mail/Messages.h"

ContentStream CMailEncrypt::MailContentStream(ContentStream::Digest digest) {
    ContentRules rules;
    rules.tooLarge = &msg::mail::TooLarge;
    rules.dataShort = &msg::mail::DataShort;
    rules.endIsOffset = true;
    return ContentStream(*this, digest, rules);
}
