#include "rigid_fit.hpp"

#include <math_Jacobi.hxx>
#include <math_Matrix.hxx>
#include <math_Vector.hxx>

#include <gp_Quaternion.hxx>

gp_Trsf fitRigidMotion(const std::vector<PointPair>& pairs)
{
    gp_XYZ fromCentre, toCentre;
    double total = 0;
    for (const PointPair& pair : pairs) {
        fromCentre += pair.from.XYZ() * pair.weight;
        toCentre += pair.to.XYZ() * pair.weight;
        total += pair.weight;
    }
    gp_Trsf motion;
    if (!(total > 0)) return motion;
    fromCentre /= total;
    toCentre /= total;
    // s[i][j]: the weighted sum of from_i * to_j about the centres.
    double s[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    for (const PointPair& pair : pairs) {
        const gp_XYZ a = pair.from.XYZ() - fromCentre, b = pair.to.XYZ() - toCentre;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) s[i][j] += pair.weight * a.Coord(i + 1) * b.Coord(j + 1);
        }
    }
    const double xx = s[0][0], xy = s[0][1], xz = s[0][2], yx = s[1][0], yy = s[1][1],
                 yz = s[1][2], zx = s[2][0], zy = s[2][1], zz = s[2][2];
    const double rows[4][4] = {{xx + yy + zz, yz - zy, zx - xz, xy - yx},
                               {yz - zy, xx - yy - zz, xy + yx, zx + xz},
                               {zx - xz, xy + yx, -xx + yy - zz, yz + zy},
                               {xy - yx, zx + xz, yz + zy, -xx - yy + zz}};
    math_Matrix n(1, 4, 1, 4);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) n(i + 1, j + 1) = rows[i][j];
    }
    // The unit quaternion of the best rotation is the eigenvector of the largest eigenvalue.
    const math_Jacobi eigen(n);
    if (!eigen.IsDone()) return motion;
    int largest = 1;
    for (int i = 2; i <= 4; ++i) {
        if (eigen.Value(i) > eigen.Value(largest)) largest = i;
    }
    math_Vector q(1, 4);
    eigen.Vector(largest, q);
    motion.SetRotation(gp_Quaternion(q(2), q(3), q(4), q(1)).Normalized());
    gp_XYZ turned = fromCentre;
    motion.Transforms(turned);
    motion.SetTranslationPart(gp_Vec(toCentre - turned));
    return motion;
}
