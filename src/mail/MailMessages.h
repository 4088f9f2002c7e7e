#pragma once
// The mail messages' default texts under the names the damaged-file rows compare them by.

#include "engine/Messages.h"
#include "mail/Messages.h"

inline constexpr const char* kMailNoCertificate = msg::mail::NoCertificate.text;
inline constexpr const char* kMailCertModified = msg::mail::CertModified.text;
inline constexpr const char* kMailWrapFailed = msg::mail::WrapFailed.text;
inline constexpr const char* kMailCreateFailed = msg::mail::CreateFailed.text;
inline constexpr const char* kMailSignInitFailed = msg::mail::SignInitFailed.text;
inline constexpr const char* kMailCannotOpen = msg::mail::CannotOpen.text;
inline constexpr const char* kMailTooLarge = msg::mail::TooLarge.text;
inline constexpr const char* kMailHeaderCrc = msg::mail::HeaderCrc.text;
inline constexpr const char* kMailNotMail = msg::mail::NotMail.text;
inline constexpr const char* kMailTooNew = msg::mail::TooNew.text;
inline constexpr const char* kMailNeitherFlag = msg::mail::NeitherFlag.text;
inline constexpr const char* kMailBadCipher = msg::mail::BadCipher.text;
inline constexpr const char* kMailBadDigest = msg::mail::BadDigest.text;
inline constexpr const char* kMailBadOne = msg::mail::BadOne.text;
inline constexpr const char* kMailBadKind = msg::mail::BadKind.text;
inline constexpr const char* kMailSignerCrc = msg::mail::SignerCrc.text;
inline constexpr const char* kMailNoKeyIndex = msg::mail::NoKeyIndex.text;
inline constexpr const char* kMailRecipientCrc = msg::mail::RecipientCrc.text;
inline constexpr const char* kMailNotRecipient = msg::mail::NotRecipient.text;
inline constexpr const char* kMailUnwrapFailed = msg::mail::UnwrapFailed.text;
inline constexpr const char* kMailVerifyInitFailed = msg::mail::VerifyInitFailed.text;
inline constexpr const char* kMailEntryCrc = msg::mail::EntryCrc.text;
inline constexpr const char* kMailCreateFileFailed = msg::mail::CreateFileFailed.text;
inline constexpr const char* kMailDataShort = msg::mail::DataShort.text;
inline constexpr const char* kMailContentCrc = msg::mail::ContentCrc.text;
inline constexpr const char* kMailEndCrc = msg::mail::EndCrc.text;
inline constexpr const char* kMailSignatureCrc = msg::mail::SignatureCrc.text;
inline constexpr const char* kMailBadEntry = msg::mail::BadEntry.text;
inline constexpr const char* kMailBadSignature = msg::engine::BadSignature.text;
