#include "ItemNaming.h"

#include "NameBuilder.h"

QString proposedNameFor(const VideoItem &item, const AppSettings &settings)
{
    const NamingOptions options{settings.includeDate, settings.includeLocation, settings.includeContent,
                                settings.includeOriginal, settings.separator};
    return NameBuilder::build({item.creationDate, item.location, item.content, item.url}, options);
}
