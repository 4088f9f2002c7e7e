// Mail packages stream their files' contents through the package layer's content stream: the
// same read-ahead, cipher, CRC and digest as secured packages, with the mail layout's texts.
// Mail offsets are 32-bit fields up to a content's end.

#include "mail/MailEncrypt.h"
#include "mail/MailMessages.h"

ContentStream CMailEncrypt::MailContentStream(ContentStream::Digest digest) {
    ContentRules rules;
    rules.tooLarge = kMailTooLarge;
    rules.dataShort = kMailDataShort;
    rules.endIsOffset = true;
    return ContentStream(*this, digest, rules);
}
