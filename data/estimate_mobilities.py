#!/usr/bin/env python3
"""Estimated limiting mobilities of the constituent database.

Reads constituents.tsv, fits the two estimate rules to the reference mobilities
in it (key LAM, measured conductivities, and key GEN, values given from general
knowledge and not checked against a printed table), prints the fit and its leave-one-out spread and the
counts of values by source key, and with --write replaces every estimated
mobility (keys EST and ESC) by the value of the fitted rule.

EST, size rule: u = a * |z|**b * V**(-e), a and e one pair for cations and one
for anions, V the characteristic molecular volume of McGowan (cm3/mol:
sum of atomic increments less 6.56 per bond; J. C. McGowan, A. Mellors,
Molecular Volumes in Chemistry and Biology, 1986; M. H. Abraham, J. C.
McGowan, Chromatographia 23 (1987) 243). Fitted to the reference organic ions.
The volume rather than the molar mass carries the size, so that heavy atoms
(Cl, Br, I, S) do not make an ion look larger than it is.

ESC, charge scaling: a form of an inorganic constituent whose other form has
a measured mobility gets u(z) = u(zm) * (|z|/|zm|)**beta, zm the nearest
measured charge, beta fitted to the inorganic constituents with two measured
forms. (For organic ions the size rule does better than this scaling.)

With --check it changes nothing and fails (exit status 1) when an estimate
in the table is not the value of the rule, or when README.md beside the table
does not state the fitted coefficients and spreads.

usage: estimate_mobilities.py constituents.tsv [--write | --check]
"""
import math
import os
import re
import sys

MASS = {'H': 1.008, 'B': 10.81, 'C': 12.011, 'N': 14.007, 'O': 15.999, 'F': 18.998, 'Si': 28.085,
        'P': 30.974, 'S': 32.06, 'Cl': 35.45, 'As': 74.922, 'Se': 78.971, 'Br': 79.904, 'Mo': 95.95,
        'I': 126.904, 'Fe': 55.845}
# McGowan atomic increments, cm3/mol.
VOL = {'H': 8.71, 'B': 18.32, 'C': 16.35, 'N': 14.39, 'O': 12.43, 'F': 10.48, 'Si': 26.83, 'P': 24.87,
       'S': 22.91, 'Cl': 20.95, 'As': 29.42, 'Se': 27.81, 'Br': 26.21, 'I': 34.53}
BOND = 6.56

# Formula of the neutral acid or base (of the ion itself for quaternary ions
# and borate) and its number of rings; the proton a charge form gains or loses
# is ignored, as it is by the measured data the rule is fitted to.
FORMULA = {
    'Tetramethylammonium': ('C4H12N', 0), 'Tetraethylammonium': ('C8H20N', 0),
    'Tetrapropylammonium': ('C12H28N', 0), 'Tetrabutylammonium': ('C16H36N', 0),
    'Benzyltrimethylammonium': ('C10H16N', 1), 'Methylamine': ('CH5N', 0), 'Dimethylamine': ('C2H7N', 0),
    'Trimethylamine': ('C3H9N', 0), 'Ethylamine': ('C2H7N', 0), 'Diethylamine': ('C4H11N', 0),
    'Triethylamine': ('C6H15N', 0), 'Propylamine': ('C3H9N', 0), 'Butylamine': ('C4H11N', 0),
    'Isopropylamine': ('C3H9N', 0), 'Dipropylamine': ('C6H15N', 0), 'Ethanolamine': ('C2H7NO', 0),
    'Diethanolamine': ('C4H11NO2', 0), 'Triethanolamine': ('C6H15NO3', 0),
    'N-Methyldiethanolamine': ('C5H13NO2', 0), 'Tris': ('C4H11NO3', 0), 'Bis-Tris': ('C8H19NO5', 0),
    'Ammediol': ('C4H11NO2', 0), '2-Amino-2-methyl-1-propanol': ('C4H11NO', 0),
    'Imidazole': ('C3H4N2', 1), '1-Methylimidazole': ('C4H6N2', 1), '2-Methylimidazole': ('C4H6N2', 1),
    '4-Methylimidazole': ('C4H6N2', 1), 'Pyridine': ('C5H5N', 1), '2-Methylpyridine': ('C6H7N', 1),
    '3-Methylpyridine': ('C6H7N', 1), '4-Methylpyridine': ('C6H7N', 1), '2,6-Dimethylpyridine': ('C7H9N', 1),
    'Aniline': ('C6H7N', 1), 'N,N-Dimethylaniline': ('C8H11N', 1), 'Benzylamine': ('C7H9N', 1),
    'Morpholine': ('C4H9NO', 1), 'N-Methylmorpholine': ('C5H11NO', 1), 'Piperidine': ('C5H11N', 1),
    'Pyrrolidine': ('C4H9N', 1), 'Hydroxylamine': ('H3NO', 0), 'Hydrazine': ('H4N2', 0),
    'Cyclohexylamine': ('C6H13N', 1), 'Quinoline': ('C9H7N', 2), 'Creatinine': ('C4H7N3O', 1),
    'Procaine': ('C13H20N2O2', 1), 'Lidocaine': ('C14H22N2O', 1), 'Ephedrine': ('C10H15NO', 1),
    'Pseudoephedrine': ('C10H15NO', 1), 'Amphetamine': ('C9H13N', 1), 'Nicotine': ('C10H14N2', 2),
    'Caffeine': ('C8H10N4O2', 2), 'Guanidine': ('CH5N3', 0), 'Tryptamine': ('C10H12N2', 2),
    'Histamine': ('C5H9N3', 1), 'Dopamine': ('C8H11NO2', 1), 'Serotonin': ('C10H12N2O', 2),
    'Putrescine': ('C4H12N2', 0), 'Cadaverine': ('C5H14N2', 0), 'Ethylenediamine': ('C2H8N2', 0),
    'Piperazine': ('C4H10N2', 1), '1,3-Diaminopropane': ('C3H10N2', 0), 'Bis-Tris propane': ('C11H26N2O6', 0),
    'Triethylenediamine': ('C6H12N2', 2),
    'Hypochlorite': ('HClO', 0), 'Thiosulfate': ('H2S2O3', 0), 'Borate': ('BH4O4', 0), 'Arsenate': ('H3AsO4', 0),
    'Selenite': ('H2SeO3', 0), 'Silicate': ('H4SiO4', 0), 'Hydrogen peroxide': ('H2O2', 0),
    'Formic acid': ('CH2O2', 0), 'Acetic acid': ('C2H4O2', 0), 'Propionic acid': ('C3H6O2', 0),
    'Butyric acid': ('C4H8O2', 0), 'Isobutyric acid': ('C4H8O2', 0), 'Valeric acid': ('C5H10O2', 0),
    'Caproic acid': ('C6H12O2', 0), 'Chloroacetic acid': ('C2H3ClO2', 0), 'Dichloroacetic acid': ('C2H2Cl2O2', 0),
    'Trichloroacetic acid': ('C2HCl3O2', 0), 'Fluoroacetic acid': ('C2H3FO2', 0),
    'Trifluoroacetic acid': ('C2HF3O2', 0), 'Bromoacetic acid': ('C2H3BrO2', 0), 'Glycolic acid': ('C2H4O3', 0),
    'Lactic acid': ('C3H6O3', 0), 'Pyruvic acid': ('C3H4O3', 0), 'Glyoxylic acid': ('C2H2O3', 0),
    'Acrylic acid': ('C3H4O2', 0), 'Crotonic acid': ('C4H6O2', 0), 'Sorbic acid': ('C6H8O2', 0),
    'Gluconic acid': ('C6H12O7', 0), 'Glucuronic acid': ('C6H10O7', 1), 'Ascorbic acid': ('C6H8O6', 1),
    'Benzoic acid': ('C7H6O2', 1), 'Salicylic acid': ('C7H6O3', 1), '4-Hydroxybenzoic acid': ('C7H6O3', 1),
    '4-Aminobenzoic acid': ('C7H7NO2', 1), 'Phenylacetic acid': ('C8H8O2', 1), 'Mandelic acid': ('C8H8O3', 1),
    'Hippuric acid': ('C9H9NO3', 1), 'Cinnamic acid': ('C9H8O2', 1), '2-Chlorobenzoic acid': ('C7H5ClO2', 1),
    '4-Nitrobenzoic acid': ('C7H5NO4', 1), 'Nicotinic acid': ('C6H5NO2', 1), 'Sulfanilic acid': ('C6H7NO3S', 1),
    'Oxalic acid': ('C2H2O4', 0), 'Malonic acid': ('C3H4O4', 0), 'Succinic acid': ('C4H6O4', 0),
    'Glutaric acid': ('C5H8O4', 0), 'Adipic acid': ('C6H10O4', 0), 'Pimelic acid': ('C7H12O4', 0),
    'Maleic acid': ('C4H4O4', 0), 'Fumaric acid': ('C4H4O4', 0), 'Malic acid': ('C4H6O5', 0),
    'Tartaric acid': ('C4H6O6', 0), 'Itaconic acid': ('C5H6O4', 0), 'Phthalic acid': ('C8H6O4', 1),
    'Isophthalic acid': ('C8H6O4', 1), 'Terephthalic acid': ('C8H6O4', 1), 'Citric acid': ('C6H8O7', 0),
    'Isocitric acid': ('C6H8O7', 0), 'cis-Aconitic acid': ('C6H6O6', 0), 'Trimesic acid': ('C9H6O6', 1),
    '2-Oxoglutaric acid': ('C5H6O5', 0), 'Oxaloacetic acid': ('C4H4O5', 0),
    'Nitrilotriacetic acid': ('C6H9NO6', 0), 'Iminodiacetic acid': ('C4H7NO4', 0), 'Picric acid': ('C6H3N3O7', 1),
    'Phenol': ('C6H6O', 1), '4-Nitrophenol': ('C6H5NO3', 1), '2-Nitrophenol': ('C6H5NO3', 1),
    '2,4-Dinitrophenol': ('C6H4N2O5', 1), '2-Chlorophenol': ('C6H5ClO', 1), '4-Chlorophenol': ('C6H5ClO', 1),
    '2,4-Dichlorophenol': ('C6H4Cl2O', 1), 'Pentachlorophenol': ('C6HCl5O', 1), 'Resorcinol': ('C6H6O2', 1),
    'Catechol': ('C6H6O2', 1), 'Barbital': ('C8H12N2O3', 1), 'Phenobarbital': ('C12H12N2O3', 2),
    'Saccharin': ('C7H5NO3S', 2), 'Uric acid': ('C5H4N4O3', 2), 'Methanesulfonic acid': ('CH4O3S', 0),
    'Ethanesulfonic acid': ('C2H6O3S', 0), 'Benzenesulfonic acid': ('C6H6O3S', 1),
    'p-Toluenesulfonic acid': ('C7H8O3S', 1), 'Naphthalene-2-sulfonic acid': ('C10H8O3S', 2),
    'Dodecyl sulfate': ('C12H26O4S', 0), 'Octanesulfonic acid': ('C8H18O3S', 0), 'Taurine': ('C2H7NO3S', 0),
    'MES': ('C6H13NO4S', 1), 'ACES': ('C4H10N2O4S', 0), 'BES': ('C6H15NO5S', 0), 'MOPS': ('C7H15NO4S', 1),
    'MOPSO': ('C7H15NO5S', 1), 'TES': ('C6H15NO6S', 0), 'HEPES': ('C8H18N2O4S', 1), 'DIPSO': ('C7H17NO6S', 0),
    'TAPSO': ('C7H17NO7S', 0), 'HEPPSO': ('C9H20N2O5S', 1), 'POPSO': ('C10H22N2O8S2', 1),
    'EPPS': ('C9H20N2O4S', 1), 'TAPS': ('C7H17NO6S', 0), 'AMPSO': ('C7H17NO5S', 0), 'CHES': ('C8H17NO3S', 1),
    'CAPSO': ('C9H19NO4S', 1), 'CAPS': ('C9H19NO3S', 1), 'PIPES': ('C8H18N2O6S2', 1), 'ADA': ('C6H10N2O5', 0),
    'Tricine': ('C6H13NO5', 0), 'Bicine': ('C6H13NO4', 0), 'Glycylglycine': ('C4H8N2O3', 0),
    'Glycinamide': ('C2H6N2O', 0), 'Glycylglycylglycine': ('C6H11N3O4', 0), 'Cacodylic acid': ('C2H7AsO2', 0),
    'Diethylmalonic acid': ('C7H12O4', 0), 'Glycine': ('C2H5NO2', 0), 'Alanine': ('C3H7NO2', 0),
    'beta-Alanine': ('C3H7NO2', 0), 'GABA': ('C4H9NO2', 0), 'epsilon-Aminocaproic acid': ('C6H13NO2', 0),
    'Sarcosine': ('C3H7NO2', 0), 'Valine': ('C5H11NO2', 0), 'Leucine': ('C6H13NO2', 0),
    'Isoleucine': ('C6H13NO2', 0), 'Norleucine': ('C6H13NO2', 0), 'Serine': ('C3H7NO3', 0),
    'Threonine': ('C4H9NO3', 0), 'Proline': ('C5H9NO2', 1), 'Hydroxyproline': ('C5H9NO3', 1),
    'Phenylalanine': ('C9H11NO2', 1), 'Tryptophan': ('C11H12N2O2', 2), 'Methionine': ('C5H11NO2S', 0),
    'Asparagine': ('C4H8N2O3', 0), 'Glutamine': ('C5H10N2O3', 0), 'Citrulline': ('C6H13N3O3', 0),
    'Aspartic acid': ('C4H7NO4', 0), 'Glutamic acid': ('C5H9NO4', 0), 'Cysteine': ('C3H7NO2S', 0),
    'Tyrosine': ('C9H11NO3', 1), 'Histidine': ('C6H9N3O2', 1), 'Lysine': ('C6H14N2O2', 0),
    'Arginine': ('C6H14N4O2', 0), 'Ornithine': ('C5H12N2O2', 0), 'Carnosine': ('C9H14N4O3', 1),
    'Creatine': ('C4H9N3O2', 0), 'DOPA': ('C9H11NO4', 1), 'Adenine': ('C5H5N5', 2), 'Cytosine': ('C4H5N3O', 1),
    'Guanine': ('C5H5N5O', 2), 'Uracil': ('C4H4N2O2', 1), 'Thymine': ('C5H6N2O2', 1),
    'Nicotinamide': ('C6H6N2O', 1), 'Pyridoxine': ('C8H11NO3', 1), 'Paracetamol': ('C8H9NO2', 1),
    'Ibuprofen': ('C13H18O2', 1), 'Naproxen': ('C14H14O3', 2), 'Ketoprofen': ('C16H14O3', 2),
    'Diclofenac': ('C14H11Cl2NO2', 2), 'Acetylsalicylic acid': ('C9H8O4', 1), 'Theophylline': ('C7H8N4O2', 2),
    'Sulfathiazole': ('C9H9N3O2S2', 2), 'Sulfamethoxazole': ('C10H11N3O3S', 2), 'Quinine': ('C20H24N2O2', 4),
    'Morphine': ('C17H19NO3', 5), 'Codeine': ('C18H21NO3', 5), 'Atropine': ('C17H23NO3', 3),
    'Cocaine': ('C17H21NO4', 3), 'Papaverine': ('C20H21NO4', 3), 'Strychnine': ('C21H22N2O2', 7),
    'Benzylpenicillin': ('C16H18N2O4S', 3), 'Ampicillin': ('C16H19N3O4S', 3), 'Tetracycline': ('C22H24N2O8', 4),
    'Fluorescein': ('C20H12O5', 4), 'Folic acid': ('C19H19N7O6', 3), 'Riboflavin': ('C17H20N4O6', 3),
    'Thiamine': ('C12H17N4OS', 2), 'Biotin': ('C10H16N2O3S', 2), 'Pantothenic acid': ('C9H17NO5', 0),
    'Orotic acid': ('C5H4N2O4', 1), 'Kojic acid': ('C6H6O4', 1), 'Ethylenediaminetetraacetic acid': ('C10H16N2O8', 0),
    'EGTA': ('C14H24N2O10', 0), 'Methylphosphonic acid': ('CH5O3P', 0), 'Phosphorous acid': ('H3PO3', 0),
    'Hypophosphorous acid': ('H3PO2', 0), 'Pyrophosphate': ('H4P2O7', 0), 'Heptanoic acid': ('C7H14O2', 0),
    'Octanoic acid': ('C8H16O2', 0), 'Pivalic acid': ('C5H10O2', 0), 'Levulinic acid': ('C5H8O3', 0),
    'Methoxyacetic acid': ('C3H6O3', 0), 'Cyanoacetic acid': ('C3H3NO2', 0), 'Iodoacetic acid': ('C2H3IO2', 0),
    '3-Hydroxybenzoic acid': ('C7H6O3', 1), 'Barbituric acid': ('C4H4N2O3', 1), 'Anthranilic acid': ('C7H7NO2', 1),
    'Ammonium': ('H3N', 0), 'Nitrate': ('HNO3', 0), 'Nitrite': ('HNO2', 0), 'Chlorate': ('HClO3', 0),
    'Perchlorate': ('HClO4', 0), 'Bromate': ('HBrO3', 0), 'Iodate': ('HIO3', 0), 'Periodate': ('HIO4', 0),
    'Thiocyanate': ('CHNS', 0), 'Azide': ('HN3', 0), 'Cyanide': ('CHN', 0), 'Hydrogen sulfide': ('H2S', 0),
    'Sulfate': ('H2SO4', 0), 'Sulfite': ('H2SO3', 0), 'Phosphate': ('H3PO4', 0), 'Carbonate': ('CH2O3', 0),
    'Hexylamine': ('C6H15N', 0), 'tert-Butylamine': ('C4H11N', 0), 'Tributylamine': ('C12H27N', 0),
    'Diisopropylamine': ('C6H15N', 0), 'N-Ethylmorpholine': ('C6H13NO', 1),
}
# Carbon compounds that count as inorganic ions.
INORGANIC = {'Thiocyanate', 'Cyanide', 'Carbonate', 'Hexacyanoferrate(III)', 'Hexacyanoferrate(II)'}
# Constituents that form zwitterions (an amino group beside an acid group):
# amino acids, peptides and the aminosulfonic and aminocarboxylic buffers. Their
# ions carry polar groups that the size rule, fitted on simple ions, does not
# see; they get the size rule times one factor fitted to their own reference
# forms, and stay out of the size fit. (The chelators with three and more acid
# groups, NTA, EDTA, EGTA, keep the size rule.)
ZWITTERION = {
    'Glycine', 'Alanine', 'beta-Alanine', 'GABA', 'epsilon-Aminocaproic acid', 'Sarcosine', 'Valine',
    'Leucine', 'Isoleucine', 'Norleucine', 'Serine', 'Threonine', 'Proline', 'Hydroxyproline',
    'Phenylalanine', 'Tryptophan', 'Methionine', 'Asparagine', 'Glutamine', 'Citrulline',
    'Aspartic acid', 'Glutamic acid', 'Cysteine', 'Tyrosine', 'Histidine', 'Lysine', 'Arginine',
    'Ornithine', 'Carnosine', 'Creatine', 'DOPA', 'Anthranilic acid', 'Ampicillin', 'Taurine',
    'Glycylglycine', 'Glycylglycylglycine', 'Iminodiacetic acid', 'MES', 'ACES', 'BES', 'MOPS',
    'MOPSO', 'TES', 'HEPES', 'DIPSO', 'TAPSO', 'HEPPSO', 'POPSO', 'EPPS', 'TAPS', 'AMPSO', 'CHES',
    'CAPSO', 'CAPS', 'PIPES', 'ADA', 'Tricine', 'Bicine',
}
# The mobilities the rules are fitted to: LAM from measured conductivities, GEN
# given from general knowledge (not checked against a printed table).
MEASURED = ('LAM', 'GEN')
ESTIMATED = ('EST', 'ESC')


def atoms(formula):
    out = {}
    for el, k in re.findall(r'([A-Z][a-z]?)(\d*)', formula):
        out[el] = out.get(el, 0) + (int(k) if k else 1)
    return out


def volume(name):
    formula, rings = FORMULA[name]
    a = atoms(formula)
    n = sum(a.values())
    return sum(VOL[e] * k for e, k in a.items()) - BOND * (n - 1 + rings)


def organic(name):
    return name in FORMULA and name not in INORGANIC and 'C' in atoms(FORMULA[name][0])


def read(path):
    rows = []
    for line in open(path, encoding='utf-8').read().split('\n'):
        if not line or line.startswith('#'):
            rows.append(line)
            continue
        f = line.split('\t')
        n, p = int(f[1]), int(f[2])
        charges = [z for z in range(-n, p + 1) if z != 0]
        rows.append({'f': f, 'name': f[0], 'z': charges,
                     'u': [float(x) for x in f[4].split(';')],
                     'pk': [float(x) for x in f[3].split(';')],
                     'uk': f[6].split('/'), 'pkk': f[5].split('/')})
    return rows


def solve(a, b):
    """Least squares by the normal equations (Gauss-Jordan)."""
    m = len(a[0])
    ata = [[sum(r[i] * r[j] for r in a) for j in range(m)] for i in range(m)]
    atb = [sum(r[i] * y for r, y in zip(a, b)) for i in range(m)]
    for i in range(m):
        piv = ata[i][i]
        for j in range(m):
            ata[i][j] /= piv
        atb[i] /= piv
        for k in range(m):
            if k != i:
                f = ata[k][i]
                for j in range(m):
                    ata[k][j] -= f * ata[i][j]
                atb[k] -= f * atb[i]
    return atb


def size_row(z, v):
    cat = 1.0 if z > 0 else 0.0
    return [cat, 1 - cat, math.log(abs(z)), cat * math.log(v), (1 - cat) * math.log(v)]


def size_fit(points):
    """points: (z, V, u) -> c of ln u = c0 [z>0] + c1 [z<0] + c2 ln|z| + (c3 [z>0] + c4 [z<0]) ln V."""
    return solve([size_row(z, v) for z, v, u in points], [math.log(u) for z, v, u in points])


def size_rule(c, z, v):
    return math.exp(sum(ci * xi for ci, xi in zip(c, size_row(z, v))))


def scale_fit(pairs):
    """pairs: (z, zm, u, um) -> beta in u/um = (|z|/|zm|)**beta."""
    num = sum(math.log(abs(z) / abs(zm)) * math.log(u / um) for z, zm, u, um in pairs)
    den = sum(math.log(abs(z) / abs(zm)) ** 2 for z, zm, u, um in pairs)
    return num / den


def spread(errors):
    e = sorted(abs(x) for x in errors)
    med = e[len(e) // 2] if len(e) % 2 else (e[len(e) // 2 - 1] + e[len(e) // 2]) / 2
    rms = math.sqrt(sum(x * x for x in errors) / len(errors))
    mean = sum(errors) / len(errors)
    return 'n = %d, median |error| %.1f %%, rms %.1f %%, mean %+.1f %%, within 10 %%: %d, largest %.1f %%' % (
        len(e), 100 * med, 100 * rms, 100 * mean, sum(1 for x in e if x <= 0.10), 100 * e[-1])


def readme_row(errors):
    """The median, rms and within-10-% cells of the README's table of spreads."""
    e = sorted(abs(x) for x in errors)
    med = e[len(e) // 2] if len(e) % 2 else (e[len(e) // 2 - 1] + e[len(e) // 2]) / 2
    rms = math.sqrt(sum(x * x for x in errors) / len(errors))
    return '| %.1f %% | %.1f %% | %d of %d |' % (100 * med, 100 * rms, sum(1 for x in e if x <= 0.10), len(e))


def main():
    path = sys.argv[1]
    stated = []   # texts README.md must hold
    rows = read(path)
    entries = [r for r in rows if isinstance(r, dict)]
    # Size rule: the reference organic ions (LAM and GEN).
    points, labels = [], []
    for r in entries:
        if not organic(r['name']) or r['name'] in ZWITTERION:
            continue
        for z, u, k in zip(r['z'], r['u'], r['uk']):
            if k in MEASURED:
                points.append((z, volume(r['name']), u))
                labels.append('%s (%+d)' % (r['name'], z))
    c = size_fit(points)
    loo = []
    for i in range(len(points)):
        ci = size_fit(points[:i] + points[i + 1:])
        z, v, u = points[i]
        loo.append(size_rule(ci, z, v) / u - 1)
    print('size rule: u = a |z|^b V^-e, V in cm3/mol: cations a = %.1f, e = %.3f; anions a = %.1f, e = %.3f;'
          ' b = %.3f' % (math.exp(c[0]), -c[3], math.exp(c[1]), -c[4], c[2]))
    print('  leave-one-out on the reference organic ions (LAM, GEN):', spread(loo))
    for lab, e in sorted(zip(labels, loo), key=lambda t: -abs(t[1]))[:8]:
        print('   %-32s %+.1f %%' % (lab, 100 * e))
    cat = [e for (z, v, u), e in zip(points, loo) if z > 0]
    an = [e for (z, v, u), e in zip(points, loo) if z < 0]
    print('  cations:', spread(cat))
    print('  anions: ', spread(an))
    stated += ['Cations a = %.1f, e = %.3f; anions a = %.1f, e = %.3f; b = %.3f' % (
        math.exp(c[0]), -c[3], math.exp(c[1]), -c[4], c[2]), readme_row(cat), readme_row(an)]
    # Zwitterion-forming constituents: the size rule times one factor, the
    # geometric mean of reference / size rule over their reference forms (GEN).
    zw = [(z, volume(r['name']), u) for r in entries if r['name'] in ZWITTERION
          for z, u, k in zip(r['z'], r['u'], r['uk']) if k in MEASURED]
    zw_factor = lambda pts: math.exp(sum(math.log(u / size_rule(c, z, v)) for z, v, u in pts) / len(pts))
    fz = zw_factor(zw)
    zloo = [fz_i * size_rule(c, z, v) / u - 1 for (z, v, u), fz_i in
            ((p, zw_factor(zw[:i] + zw[i + 1:])) for i, p in enumerate(zw))]
    before = [size_rule(c, z, v) / u - 1 for z, v, u in zw]
    print('zwitterion-forming: factor %.3f from %d reference forms (all GEN); leave-one-out: %s' % (fz, len(zw), spread(zloo)))
    print('  the size rule alone on them:', spread(before))
    stated += ['factor %.3f' % fz, readme_row(zloo), readme_row(before)]
    # The rule it replaces, on the same ions: 155 |z| M^-1/3 (anions), 170 |z| M^-1/3 (cations).
    old, oldcat = [], []
    for r in entries:
        if not organic(r['name']) or r['name'] in ZWITTERION:
            continue
        m = sum(MASS[e] * k for e, k in atoms(FORMULA[r['name']][0]).items())
        for z, u, k in zip(r['z'], r['u'], r['uk']):
            if k in MEASURED:
                old.append((170 if z > 0 else 155) * abs(z) * m ** (-1 / 3) / u - 1)
                if z > 0:
                    oldcat.append(old[-1])
    print('  former mass rule on the same ions:', spread(old))
    print('    its cations:', spread(oldcat))
    stated.append(readme_row(old))
    # The size rule on measured inorganic polyatomic ions (not fitted to them).
    inorg = []
    for r in entries:
        if r['name'] in FORMULA and not organic(r['name']) and r['name'] != 'Hexacyanoferrate(II)':
            inorg += [size_rule(c, z, volume(r['name'])) / u - 1
                      for z, u, k in zip(r['z'], r['u'], r['uk']) if k in MEASURED]
    print('  size rule on the measured inorganic polyatomic ions:', spread(inorg))
    stated.append(readme_row(inorg))
    # Charge scaling: inorganic constituents with two measured forms.
    pairs = []
    for r in entries:
        if organic(r['name']):
            continue
        m = [(z, u) for z, u, k in zip(r['z'], r['u'], r['uk']) if k in MEASURED]
        for i in range(len(m)):
            for j in range(i + 1, len(m)):
                pairs.append((m[i][0], m[j][0], m[i][1], m[j][1]))
    beta = scale_fit(pairs)
    loo = [((abs(z) / abs(zm)) ** scale_fit(pairs[:i] + pairs[i + 1:])) * um / u - 1
           for i, (z, zm, u, um) in enumerate(pairs)]
    print('charge scaling: beta = %.3f from %d pairs; leave-one-out: %s' % (beta, len(pairs), spread(loo)))
    stated += ['^%.3f' % beta, readme_row(loo)]

    # New estimates.
    changed = 0
    for r in entries:
        meas = [(z, u) for z, u, k in zip(r['z'], r['u'], r['uk']) if k in MEASURED]
        for i, (z, k) in enumerate(zip(r['z'], r['uk'])):
            if k not in ESTIMATED:
                continue
            same = [(zm, um) for zm, um in meas if (zm > 0) == (z > 0) and not organic(r['name'])]
            if same:
                zm, um = min(same, key=lambda t: abs(t[0] - z))
                u, key = um * (abs(z) / abs(zm)) ** beta, 'ESC'
            else:
                u, key = size_rule(c, z, volume(r['name'])), 'EST'
                if r['name'] in ZWITTERION:
                    u *= fz
            u = float('%.3g' % u)
            if (u, key) != (r['u'][i], k):
                changed += 1
            r['u'][i], r['uk'][i] = u, key
    print('estimates changed:', changed)
    count(entries)
    if '--check' in sys.argv:
        readme = open(os.path.join(os.path.dirname(os.path.abspath(path)), 'README.md'), encoding='utf-8').read()
        missing = [t for t in stated if t not in readme]
        for t in missing:
            print('README.md does not state: ' + t)
        sys.exit(1 if changed or missing else 0)
    if '--write' in sys.argv:
        out = []
        for r in rows:
            if isinstance(r, dict):
                f = r['f']
                f[4] = '; '.join('%g' % u for u in r['u'])
                f[6] = '/'.join(r['uk'])
                out.append('\t'.join(f))
            else:
                out.append(r)
        open(path, 'w', encoding='utf-8').write('\n'.join(out))


def count(entries):
    tally = {}
    for r in entries:
        for k in r['uk']:
            tally['u ' + k] = tally.get('u ' + k, 0) + 1
        for k in r['pkk']:
            tally['pKa ' + k] = tally.get('pKa ' + k, 0) + 1
    print('values by source key:', ', '.join('%s %d' % kv for kv in sorted(tally.items())))


if __name__ == '__main__':
    main()
