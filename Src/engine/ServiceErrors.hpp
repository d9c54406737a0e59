#pragma once

// How the engine words what went wrong with a language-model service, as the "⚠ " messages
// the chat shows. Every text quoted from a service passes through SanitiseServiceText first.

#include <string>

// The mark that starts every warning the engine shows in the chat: "⚠ ".
extern const char* const kWarningMark;

// Text from a service must never carry the user's key back into the chat, and must stay
// short: the key becomes "[key]" and the text is cut to 300 bytes plus "..." on a UTF-8
// boundary.
std::string SanitiseServiceText(std::string text, const std::string& apiKey);

// Neither a key for service nor a sign-in.
std::string NoApiKeyWarning(const std::string& service);
// The proxy refused the access token and no renewed one could be had.
std::string SignInExpiredWarning();
// The proxy refused a renewed token as well, but the sign-in has been renewed since: the next
// message goes with the newer token.
std::string SignInMovedOnWarning();
// The proxy refused the access token and the sign-in service could not be asked for another:
// the sign-in holds, and a later message may go through. why: the cause, sanitised.
std::string SignInNotRenewedWarning(const std::string& why);
// The chat proxy's address is plain http to another computer: the token is not sent there.
std::string InsecureProxyWarning(const std::string& proxyUrl);
// The proxy answered 403: the sign-in is valid but may not use the model.
std::string ProxyRefusedWarning(const std::string& service, const std::string& body, const std::string& token);
// error: the transport's failure text; empty when no response arrived at all.
std::string UnreachableWarning(const std::string& service, const std::string& error, const std::string& apiKey);
// The request reached the service, which sent no answer before the client's time limit.
std::string TimedOutWarning(const std::string& service);
// The host quit while the model was being asked: no service is to blame. One text for every
// way a turn learns it: the engine's request cut off, the palette closing during a turn.
std::string StoppedBeforeAnswerWarning();
// The same, once a reply of the turn had shown (a text, a tool's card): the question stays in
// the conversation, so sending it again would ask it twice.
std::string StoppedPartWayWarning();
// A reply whose status is not 2xx; body is the service's reply.
std::string HttpFailureWarning(const std::string& service, int status, const std::string& body,
                               const std::string& apiKey);
// A 2xx reply the provider could not read; why is the parser's explanation.
std::string UnexpectedReplyWarning(const std::string& service, const std::string& why, const std::string& apiKey);
// Follows a reply that stopped at the output limit, so that its end is not taken for the whole.
std::string CutShortWarning(int maxOutputTokens);
