// The firmware image view shared by the requests and the upload.
#include "app/firmware_image.h"

FirmwareImage firmwareImage = {nullptr, 0};
