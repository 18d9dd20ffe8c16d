#include "conversation/InterfaceExtract.h"

#include "conversation/ConversationReader.h"
#include "conversation/ConversationWriter.h"

Failure extractInterface(const std::string& path, std::uint32_t interfaceIndex,
                         const std::string& outPath, const std::string& application) {
    ConversationReader reader;
    if (Failure failure = reader.open(path); failure.happened()) return failure;
    reader.keepLineEvents(true);
    ConversationHeader header{application, {}};
    if (interfaceIndex < reader.interfaces().size())
        header.interfaces.push_back(reader.interfaces()[interfaceIndex]);
    ConversationWriter writer;
    if (Failure failure = writer.open(outPath, header); failure.happened()) return failure;
    ConversationBurst burst;
    while (reader.next(burst)) {
        if (burst.interfaceIndex != interfaceIndex) continue;
        burst.interfaceIndex = 0;
        if (Failure failure = writer.write(burst); failure.happened()) return failure;
    }
    if (reader.failure().happened()) return reader.failure();
    return writer.close();
}
