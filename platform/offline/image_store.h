// SPDX-License-Identifier: MIT
// The file store of a FAT volume inside a disk image, read and written
// through our own FAT engine: drive C: is the volume's root. Internal to
// platform/offline.
#pragma once

#include <memory>
#include <string>

#include "platform/offline/codepage.h"
#include "platform/offline/fat/image.h"
#include "platform/offline/file_store.h"

namespace sabrel::platform::offline {

class ImageStore : public FileStore {
  public:
    // Opens and locks the image (see fat::OpenImage) with the ANSI code page
    // `codePage` and the OEM code page that goes with it. `*foreign` names
    // the container of a kForeignContainer image.
    static fat::ImageError Open(const std::string& image, unsigned partition, UINT codePage,
                                std::unique_ptr<ImageStore>* out, std::string* foreign);
    ~ImageStore() override;

    // The Windows folder that MSDOS.SYS names, e.g. "C:\WINDOWS".
    virtual const std::string& windowsDirectory() const = 0;
    // Switches to the installation's own code page once it is known.
    virtual void UseCodePage(UINT codePage) = 0;
    // True when `dosPath` names an existing folder.
    virtual bool IsFolder(const std::string& dosPath) = 0;
};

// The OEM code page that Windows 9x pairs with an ANSI one, for short names.
UINT OemCodePageOf(UINT ansiCodePage);

}  // namespace sabrel::platform::offline
