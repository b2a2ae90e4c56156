#include "support/hresult.h"

#include <cerrno>

HRESULT HResultFromErrno(int error) {
  switch (error) {
    case 0:
      return S_OK;
    case ENOENT:
      return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    case ENOTDIR:
    case ENAMETOOLONG:
      return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case EACCES:
    case EPERM:
    case EROFS:
      return E_ACCESSDENIED;
    case EBADF:
      return E_HANDLE;
    case ENOMEM:
      return E_OUTOFMEMORY;
    case EEXIST:
      return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    case EINVAL:
      return E_INVALIDARG;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    case ETIMEDOUT:
      return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    case ECANCELED:
      return HRESULT_FROM_WIN32(ERROR_CANCELLED);
    default:
      return E_FAIL;
  }
}
