// GDAL is loaded when a command first needs it rather than when kelo starts: linking it pulls in
// about a hundred libraries whose loading and relocation cost more processor time than a short
// script's whole run. Include this after the GDAL headers; each GDAL function named below then
// resolves on its first call.
#pragma once

namespace kelo_tool {
// The address of a GDAL function; a missing library or function ends kelo with a message.
void* GdalSymbol(const char* name);
}  // namespace kelo_tool

#define KELO_GDAL_LAZY(fn)                                                                          \
    ([]() {                                                                                         \
        static const auto p = reinterpret_cast<decltype(&::fn)>(::kelo_tool::GdalSymbol(#fn));     \
        return p;                                                                                   \
    }())

#define GDALClose KELO_GDAL_LAZY(GDALClose)
#define OGR_F_Destroy KELO_GDAL_LAZY(OGR_F_Destroy)
#define GDALRasterIO KELO_GDAL_LAZY(GDALRasterIO)
#define GDALGetDriverByName KELO_GDAL_LAZY(GDALGetDriverByName)
#define OGR_L_GetLayerDefn KELO_GDAL_LAZY(OGR_L_GetLayerDefn)
#define OGR_L_CreateField KELO_GDAL_LAZY(OGR_L_CreateField)
#define OGR_F_SetGeometryDirectly KELO_GDAL_LAZY(OGR_F_SetGeometryDirectly)
#define OGR_FD_Reference KELO_GDAL_LAZY(OGR_FD_Reference)
#define GDALSetRasterNoDataValue KELO_GDAL_LAZY(GDALSetRasterNoDataValue)
#define GDALOpenEx KELO_GDAL_LAZY(GDALOpenEx)
#define GDALGetRasterBand KELO_GDAL_LAZY(GDALGetRasterBand)
#define GDALCreate KELO_GDAL_LAZY(GDALCreate)
#define GDALAllRegister KELO_GDAL_LAZY(GDALAllRegister)
#define CPLSetErrorHandler KELO_GDAL_LAZY(CPLSetErrorHandler)
#define CPLQuietErrorHandler KELO_GDAL_LAZY(CPLQuietErrorHandler)
#define CPLGetLastErrorMsg KELO_GDAL_LAZY(CPLGetLastErrorMsg)
#define VSIUnlink KELO_GDAL_LAZY(VSIUnlink)
#define VSIStatL KELO_GDAL_LAZY(VSIStatL)
#define OSRRelease KELO_GDAL_LAZY(OSRRelease)
#define OSRClone KELO_GDAL_LAZY(OSRClone)
#define OGR_L_ResetReading KELO_GDAL_LAZY(OGR_L_ResetReading)
#define OGR_L_GetSpatialRef KELO_GDAL_LAZY(OGR_L_GetSpatialRef)
#define OGR_L_GetNextFeature KELO_GDAL_LAZY(OGR_L_GetNextFeature)
#define OGR_L_GetName KELO_GDAL_LAZY(OGR_L_GetName)
#define OGR_L_GetGeomType KELO_GDAL_LAZY(OGR_L_GetGeomType)
#define OGR_L_GetFeatureCount KELO_GDAL_LAZY(OGR_L_GetFeatureCount)
#define OGR_L_CreateFeature KELO_GDAL_LAZY(OGR_L_CreateFeature)
#define OGR_G_WkbSizeEx KELO_GDAL_LAZY(OGR_G_WkbSizeEx)
#define OGR_G_ExportToIsoWkb KELO_GDAL_LAZY(OGR_G_ExportToIsoWkb)
#define OGR_G_CreateFromWkbEx KELO_GDAL_LAZY(OGR_G_CreateFromWkbEx)
#define OGR_Fld_Destroy KELO_GDAL_LAZY(OGR_Fld_Destroy)
#define OGR_Fld_Create KELO_GDAL_LAZY(OGR_Fld_Create)
#define OGR_F_SetFrom KELO_GDAL_LAZY(OGR_F_SetFrom)
#define OGR_F_SetFieldDouble KELO_GDAL_LAZY(OGR_F_SetFieldDouble)
#define OGR_F_GetGeometryRef KELO_GDAL_LAZY(OGR_F_GetGeometryRef)
#define OGR_F_GetFID KELO_GDAL_LAZY(OGR_F_GetFID)
#define OGR_F_GetFieldIndex KELO_GDAL_LAZY(OGR_F_GetFieldIndex)
#define OGR_F_IsFieldSetAndNotNull KELO_GDAL_LAZY(OGR_F_IsFieldSetAndNotNull)
#define OGR_F_GetFieldAsString KELO_GDAL_LAZY(OGR_F_GetFieldAsString)
#define OGR_F_Create KELO_GDAL_LAZY(OGR_F_Create)
#define OGR_FD_Release KELO_GDAL_LAZY(OGR_FD_Release)
#define OGR_FD_GetFieldIndex KELO_GDAL_LAZY(OGR_FD_GetFieldIndex)
#define OGR_FD_GetFieldDefn KELO_GDAL_LAZY(OGR_FD_GetFieldDefn)
#define OGR_FD_GetFieldCount KELO_GDAL_LAZY(OGR_FD_GetFieldCount)
#define OGRGeometryTypeToName KELO_GDAL_LAZY(OGRGeometryTypeToName)
#define GDALSetProjection KELO_GDAL_LAZY(GDALSetProjection)
#define GDALSetGeoTransform KELO_GDAL_LAZY(GDALSetGeoTransform)
#define GDALGetRasterYSize KELO_GDAL_LAZY(GDALGetRasterYSize)
#define GDALGetRasterXSize KELO_GDAL_LAZY(GDALGetRasterXSize)
#define GDALGetRasterNoDataValue KELO_GDAL_LAZY(GDALGetRasterNoDataValue)
#define GDALGetRasterCount KELO_GDAL_LAZY(GDALGetRasterCount)
#define GDALGetProjectionRef KELO_GDAL_LAZY(GDALGetProjectionRef)
#define GDALGetGeoTransform KELO_GDAL_LAZY(GDALGetGeoTransform)
#define GDALDatasetStartTransaction KELO_GDAL_LAZY(GDALDatasetStartTransaction)
#define GDALDatasetGetLayerCount KELO_GDAL_LAZY(GDALDatasetGetLayerCount)
#define GDALDatasetGetLayerByName KELO_GDAL_LAZY(GDALDatasetGetLayerByName)
#define GDALDatasetGetLayer KELO_GDAL_LAZY(GDALDatasetGetLayer)
#define GDALDatasetCreateLayer KELO_GDAL_LAZY(GDALDatasetCreateLayer)
#define GDALDatasetCommitTransaction KELO_GDAL_LAZY(GDALDatasetCommitTransaction)
#define GDALCreateCopy KELO_GDAL_LAZY(GDALCreateCopy)
#define CPLGetLastErrorType KELO_GDAL_LAZY(CPLGetLastErrorType)
#define CPLErrorReset KELO_GDAL_LAZY(CPLErrorReset)
#define CSLSetNameValue KELO_GDAL_LAZY(CSLSetNameValue)
#define CSLDestroy KELO_GDAL_LAZY(CSLDestroy)
#define GDALGetBlockSize KELO_GDAL_LAZY(GDALGetBlockSize)
