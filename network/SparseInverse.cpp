#include "network/internal/SparseInverse.h"

#include <algorithm>
#include <string>

#include "common/Error.h"

namespace vireo {

// With N = P' L D L' P (L unit lower), Z = (L D L')^-1 satisfies
//   Z(i, j) = -sum_{k > j, L(k, j) != 0} L(k, j) Z(i, k)          for i > j,
//   Z(j, j) = 1 / D(j) - sum_{k > j, L(k, j) != 0} L(k, j) Z(k, j).
// Every Z(i, k) on the right has i and k in the pattern of column j, so it
// lies on the pattern of L and belongs to a column already done.
SparseInverseSubset::SparseInverseSubset(const SparseLdlt& ldlt)
    : factor_(ldlt.matrixL().nestedExpression()) {
  // The recursion reads the factor's arrays as compressed columns.
  if (!factor_.isCompressed())
    throw Error("", "adjust the network", "the factor of the normal equations is not compressed");
  const int n = static_cast<int>(factor_.cols());
  const auto& indices = ldlt.permutationP().indices();
  permutation_.resize(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) permutation_[i] = indices.size() == n ? indices[i] : i;
  diagonal_.assign(static_cast<std::size_t>(n), 0.0);
  lower_.assign(static_cast<std::size_t>(factor_.nonZeros()), 0.0);
  const int* outer = factor_.outerIndexPtr();
  const int* rows = factor_.innerIndexPtr();
  const double* values = factor_.valuePtr();
  const auto d = ldlt.vectorD();
  // For column j, with R its pattern, Z(R, j) = -Z(R, R) L(R, j). Z(R, R) is
  // read column by column: the rows of R below k lie in the pattern of
  // column k, and `place` marks which of its rows belong to R.
  std::vector<double> sum(static_cast<std::size_t>(n), 0.0);
  std::vector<int> place(static_cast<std::size_t>(n), -1);
  for (int j = n - 1; j >= 0; --j) {
    const int first = outer[j], last = outer[j + 1];
    for (int b = first; b < last; ++b) place[rows[b]] = b;
    for (int b = first; b < last; ++b) {
      const int k = rows[b];
      double sumK = sum[k] + diagonal_[k] * values[b];
      const double lkj = values[b];
      for (int q = outer[k]; q < outer[k + 1]; ++q) {
        const int c = place[rows[q]];
        if (c < 0) continue;
        sum[rows[q]] += lower_[q] * lkj;
        sumK += lower_[q] * values[c];
      }
      sum[k] = sumK;
    }
    double diagonal = 1.0 / d[j];
    for (int b = first; b < last; ++b) {
      lower_[b] = -sum[rows[b]];
      sum[rows[b]] = 0;
      place[rows[b]] = -1;
      diagonal -= values[b] * lower_[b];
    }
    diagonal_[j] = diagonal;
  }
}

double SparseInverseSubset::Permuted(int i, int j) const {
  if (i == j) return diagonal_[i];
  if (i < j) std::swap(i, j);
  const int* outer = factor_.outerIndexPtr();
  const int* begin = factor_.innerIndexPtr() + outer[j];
  const int* end = factor_.innerIndexPtr() + outer[j + 1];
  const int* found = std::lower_bound(begin, end, i);
  // Only entries on the factor's pattern are computed; any other would be
  // a wrong number, in every build.
  if (found == end || *found != i)
    throw Error("", "adjust the network",
                "the cofactor (" + std::to_string(i) + ", " + std::to_string(j) +
                    ") lies outside the pattern of the factor of the normal equations");
  return lower_[static_cast<std::size_t>(found - factor_.innerIndexPtr())];
}

double SparseInverseSubset::operator()(int i, int j) const {
  return Permuted(permutation_[i], permutation_[j]);
}

}  // namespace vireo
