#include "host/messages.h"

#include <atomic>
#include <cstdio>

namespace globaro {

namespace {

void writeToStandardError(const char* title, const char* text) {
    std::fprintf(stderr, "%s: %s\n", title != nullptr ? title : "", text != nullptr ? text : "");
    std::fflush(stderr);
}

std::atomic<MessageHandler> gHandler{nullptr};

}  // namespace

void showMessage(const char* title, const char* text) {
    MessageHandler handler = gHandler.load();
    (handler != nullptr ? handler : writeToStandardError)(title, text);
}

MessageHandler setMessageHandler(MessageHandler handler) { return gHandler.exchange(handler); }

}  // namespace globaro
