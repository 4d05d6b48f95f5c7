// How the file service's pages are read: the file ID, the facts of a file page, the
// guest-login body and its reply, and the two download links. Every rule is a pure
// function of GBK texts; a page whose markup differs yields empty values.
#pragma once

#include "app/text_utils.h"

struct FilePageFacts {
  Text hashKey;
  Text fileName;
  Text fileSizeText;
  bool freeChannel = false;  // the page already offers the free download
};

struct ResolvedLinks {
  Text downloadUrl;  // the free-download address, decoded from Base64
  Text thunderUrl;   // the Thunder address, as the page writes it
};

// The last "/"-piece of what the user typed (a trailing "/" is ignored).
Text FileIdFromInput(const Text& input);

FilePageFacts ScrapeFilePage(const Text& page);

// The unencoded form body of the guest login.
Text GuestLoginBody(const Text& fileId, const Text& hashKey, const Text& captchaText);

// True when the login reply sends the user back because the characters were wrong.
bool IsLoginRejected(const Text& reply);

// The links in the file page or in the guest-login reply.
ResolvedLinks ExtractLinks(const Text& text);
