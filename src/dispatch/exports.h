// The single list of the library's 99 exports, in ordinal order. Slot
// storage, the tier binding, tarn-exports (symbol checks, Windows .def) and
// the tests all expand it, so nothing is written twice.
//
//   FUNCTION(ordinal, name)
//   SLOT(ordinal, name, selection group)
//   RECORD(ordinal, name)
#pragma once

#define TARN_EXPORTS(FUNCTION, SLOT, RECORD) \
  FUNCTION(1, MxIdentifyCPU)                 \
  FUNCTION(2, MxGetCPUVendor)                \
  FUNCTION(3, MxGetCPUSpeed)                 \
  FUNCTION(4, MxInitLibForCPU)               \
  SLOT(5, MxZeroMat, 1)                      \
  SLOT(6, MxIdMat, 1)                        \
  FUNCTION(7, MxRotXMat)                     \
  FUNCTION(8, MxRotYMat)                     \
  FUNCTION(9, MxRotZMat)                     \
  FUNCTION(10, MxDegRotXMat)                 \
  FUNCTION(11, MxDegRotYMat)                 \
  FUNCTION(12, MxDegRotZMat)                 \
  SLOT(13, MxTranslateMat, 1)                \
  SLOT(14, MxTranslateMatFromVec, 1)         \
  SLOT(15, MxScaleMat, 1)                    \
  SLOT(16, MxInvOrthMat4x4, 2)               \
  SLOT(17, MxInvMat4x4, 3)                   \
  SLOT(18, MxMatMult4x4_4x4, 4)              \
  SLOT(19, MxSparseMatMult4x4_4x4, 4)        \
  SLOT(20, MxConcatRotMatXYZ, 5)             \
  SLOT(21, MxConcatRotMatXZY, 5)             \
  SLOT(22, MxConcatRotMatYZX, 5)             \
  SLOT(23, MxConcatRotMatYXZ, 5)             \
  SLOT(24, MxConcatRotMatZXY, 5)             \
  SLOT(25, MxConcatRotMatZYX, 5)             \
  FUNCTION(26, MxInitTables)                 \
  FUNCTION(27, MxSinCosFFF)                  \
  FUNCTION(28, MxSinCosDDD)                  \
  FUNCTION(29, MxSinCosDDF)                  \
  FUNCTION(30, MxSinCosFFD)                  \
  SLOT(31, MxTSin, 5)                        \
  SLOT(32, MxTCos, 5)                        \
  SLOT(33, MxTSinCos, 5)                     \
  SLOT(34, MxTSinOfDeg, 5)                   \
  SLOT(35, MxTCosOfDeg, 5)                   \
  SLOT(36, MxTSinCosOfDeg, 5)                \
  SLOT(37, MxAccSqrt, 4)                     \
  SLOT(38, MxRghFastSqrt, 4)                 \
  SLOT(39, Mx3DVecMagnitudeSquared, 4)       \
  SLOT(40, Mx3DVecAccMagnitude, 4)           \
  SLOT(41, Mx3DVecRghFastMagnitude, 4)       \
  SLOT(42, Mx3DVecDotProd, 4)                \
  SLOT(43, Mx3DVecCrossProd, 6)              \
  SLOT(44, Mx3DVecAdd, 4)                    \
  SLOT(45, Mx3DVecSub, 4)                    \
  SLOT(46, Mx3DVecCmpMagnitude, 7)           \
  SLOT(47, Mx3DVecScale, 4)                  \
  SLOT(48, Mx3DVecCmp, 8)                    \
  SLOT(49, Mx3DVecTransform, 4)              \
  SLOT(50, Mx3DVecNormalize, 7)              \
  SLOT(51, Mx3DVecRotate, 6)                 \
  FUNCTION(52, MxStartTickCount)             \
  FUNCTION(53, MxEndTickCount)               \
  SLOT(54, MxZeroDwordAlignedMem, 9)         \
  SLOT(55, MxSetDwordAlignedMem, 9)          \
  SLOT(56, MxCopyDwordAlignedMem, 9)         \
  SLOT(57, MxIMin, 5)                        \
  SLOT(58, MxIMax, 5)                        \
  SLOT(59, MxFMin, 10)                       \
  SLOT(60, MxFMax, 10)                       \
  SLOT(61, MxF2I, 4)                         \
  SLOT(62, MxI2F, 4)                         \
  SLOT(63, MxFAccDiv, 11)                    \
  SLOT(64, MxFRghFastDiv, 11)                \
  SLOT(65, MxFAccRecip, 11)                  \
  SLOT(66, MxFRghFastRecip, 11)              \
  SLOT(67, MxAlphaBlt32, 9)                  \
  RECORD(68, g_mat1)                         \
  RECORD(69, g_mat2)                         \
  RECORD(70, g_mat3)                         \
  RECORD(71, g_mat4)                         \
  RECORD(72, g_mat5)                         \
  RECORD(73, g_mat6)                         \
  RECORD(74, g_mat7)                         \
  RECORD(75, g_mat8)                         \
  RECORD(76, g_mat9)                         \
  RECORD(77, g_mat10)                        \
  RECORD(78, g_mat11)                        \
  RECORD(79, g_mat12)                        \
  RECORD(80, g_mat13)                        \
  RECORD(81, g_mat14)                        \
  RECORD(82, g_mat15)                        \
  RECORD(83, g_mat16)                        \
  RECORD(84, g_vec1)                         \
  RECORD(85, g_vec2)                         \
  RECORD(86, g_vec3)                         \
  RECORD(87, g_vec4)                         \
  RECORD(88, g_vec5)                         \
  RECORD(89, g_vec6)                         \
  RECORD(90, g_vec7)                         \
  RECORD(91, g_vec8)                         \
  RECORD(92, g_vec9)                         \
  RECORD(93, g_vec10)                        \
  RECORD(94, g_vec11)                        \
  RECORD(95, g_vec12)                        \
  RECORD(96, g_vec13)                        \
  RECORD(97, g_vec14)                        \
  RECORD(98, g_vec15)                        \
  RECORD(99, g_vec16)

#define TARN_IGNORE(...)
