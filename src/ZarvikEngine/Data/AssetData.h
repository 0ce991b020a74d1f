#ifndef ZarvikEngine_Data_AssetData_h
#define ZarvikEngine_Data_AssetData_h

/* The chunk container and every record type of asset files */

#include "ZarvikEngine/Data/AnimationGraphRecords.h"
#include "ZarvikEngine/Data/AnimationRecords.h"
#include "ZarvikEngine/Data/AssetChunk.h"
#include "ZarvikEngine/Data/ImageRecords.h"
#include "ZarvikEngine/Data/LocalizationRecords.h"
#include "ZarvikEngine/Data/MeshRecords.h"
#include "ZarvikEngine/Data/RenderingRecords.h"

#endif
