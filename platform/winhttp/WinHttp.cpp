#include "platform/winhttp/WinHttp.h"

// clang-format off
#include <windows.h>
#include <winhttp.h>
// clang-format on

#include <chrono>
#include <string>

namespace {

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

// WinHTTP's codes in words: the system's own messages for them live in
// winhttp.dll, and not every system (Wine) carries them; Wine also passes
// on some of the sockets' codes.
std::string describe(DWORD code) {
    const char* what = nullptr;
    switch (code) {
    case ERROR_WINHTTP_CANNOT_CONNECT:
    case WSAECONNREFUSED: what = "could not connect to the server"; break;
    case ERROR_WINHTTP_NAME_NOT_RESOLVED: what = "could not resolve the host name"; break;
    case ERROR_WINHTTP_TIMEOUT:
    case WSAETIMEDOUT: what = "the server did not answer in time"; break;
    case ERROR_WINHTTP_CONNECTION_ERROR:
    case WSAECONNRESET: what = "the connection was broken"; break;
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR: what = "the secure connection failed"; break;
    case ERROR_WINHTTP_SECURE_INVALID_CA: what = "the server's certificate is not trusted"; break;
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
        what = "the server's certificate is for another name";
        break;
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
        what = "the server's certificate is out of date";
        break;
    case ERROR_WINHTTP_INVALID_URL: what = "not a valid URL"; break;
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME: what = "only http and https URLs are supported"; break;
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE: what = "the server's answer is not HTTP"; break;
    case ERROR_NOT_ENOUGH_MEMORY: what = "out of memory"; break;
    default: break;
    }
    return std::string(what ? what : "the request failed") + ", WinHTTP error " +
           std::to_string(code);
}

struct Handle {
    HINTERNET h = nullptr;
    explicit Handle(HINTERNET handle) : h(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (h) WinHttpCloseHandle(h);
    }
};

}  // namespace

WinHttp::WinHttp(const std::string& agent) {
    // Through the proxy set for WinHTTP on the machine, if any.
    session_ = WinHttpOpen(wide(agent).c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                           WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    start();
}

void WinHttp::interrupt() {
    std::lock_guard lock(currentMutex_);
    for (auto it = current_.begin(); it != current_.end();) {
        if (it->first && *it->first) {
            WinHttpCloseHandle(static_cast<HINTERNET>(it->second));
            it = current_.erase(it);
        } else {
            ++it;
        }
    }
}

WinHttp::~WinHttp() {
    stop();
    if (session_) WinHttpCloseHandle(static_cast<HINTERNET>(session_));
}

HttpReply WinHttp::perform(const Request& request) {
    HttpReply reply;
    const auto fail = [&reply](const std::string& why) {
        reply.body.clear();
        reply.error = why;
        return reply;
    };
    if (!session_) return fail(describe(GetLastError()));
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::seconds(request.timeoutSeconds);

    std::wstring url = wide(request.url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts))
        return fail(describe(GetLastError()));
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
        return fail(describe(ERROR_WINHTTP_UNRECOGNIZED_SCHEME));
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty()) path = L"/";

    Handle connection(
        WinHttpConnect(static_cast<HINTERNET>(session_), host.c_str(), parts.nPort, 0));
    if (!connection.h) return fail(describe(GetLastError()));
    Handle req(
        WinHttpOpenRequest(connection.h, wide(request.method).c_str(), path.c_str(), nullptr,
                           WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                           parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
    if (!req.h) return fail(describe(GetLastError()));
    // Registered for interrupt(), which may close it first: then it is not
    // closed again here.
    struct Registered {
        WinHttp& self;
        Handle& req;
        const std::atomic<bool>* flag;
        ~Registered() {
            std::lock_guard lock(self.currentMutex_);
            if (self.current_.erase(flag) == 0) req.h = nullptr;
        }
    } registered{*this, req, abortFlag()};
    {
        std::lock_guard lock(currentMutex_);
        current_[registered.flag] = req.h;
    }
    if (aborting()) return fail("the game ended first");
    // Looking up and connecting within 5 s, as on Linux; every wait for the
    // server within the request's limit, which the reading loop also keeps.
    const int limit = static_cast<int>(request.timeoutSeconds * 1000);
    WinHttpSetTimeouts(req.h, 5000, 5000, limit, limit);
    // The wait for the answer's headers has a limit of its own (90 s).
    DWORD headersLimit = static_cast<DWORD>(limit);
    WinHttpSetOption(req.h, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headersLimit,
                     sizeof headersLimit);
    // A redirect is an answer of its own, as on Linux.
    DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
    WinHttpSetOption(req.h, WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof noRedirects);

    // The headers are ASCII: the key is letters, digits, - and _.
    std::wstring extra;
    if (request.method == "POST") extra = L"Content-Type: text/plain; charset=utf-8\r\n";
    if (!request.authorization.empty()) {
        extra += L"Authorization: ";
        for (const char c : request.authorization) extra += static_cast<wchar_t>(c & 0x7F);
        extra += L"\r\n";
    }
    const wchar_t* headers = extra.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : extra.c_str();
    const DWORD headersLength = extra.empty() ? 0 : static_cast<DWORD>(-1);
    const auto size = static_cast<DWORD>(request.body.size());
    if (!WinHttpSendRequest(req.h, headers, headersLength,
                            size ? const_cast<char*>(request.body.data()) : nullptr, size, size,
                            0) ||
        !WinHttpReceiveResponse(req.h, nullptr))
        return fail(describe(GetLastError()));

    DWORD status = 0, statusSize = sizeof status;
    if (!WinHttpQueryHeaders(req.h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize,
                             WINHTTP_NO_HEADER_INDEX))
        return fail(describe(GetLastError()));
    DWORD wait = 0, waitSize = sizeof wait;
    if (WinHttpQueryHeaders(req.h, WINHTTP_QUERY_RETRY_AFTER | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &wait, &waitSize,
                            WINHTTP_NO_HEADER_INDEX))
        reply.retryAfter = static_cast<long>(wait);

    char chunk[16384];
    for (;;) {
        DWORD got = 0;
        if (!WinHttpReadData(req.h, chunk, sizeof chunk, &got))
            return fail(describe(GetLastError()));
        if (got == 0) break;
        if (reply.body.size() + got > kMaxReplyBytes)
            return fail("the server's answer is larger than a megabyte");
        reply.body.append(chunk, got);
        if (std::chrono::steady_clock::now() > deadline)
            return fail(describe(ERROR_WINHTTP_TIMEOUT));
        if (aborting()) return fail("the game ended first");
    }
    reply.status = static_cast<int>(status);
    return reply;
}
